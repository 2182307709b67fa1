// The record grid as a table model: the view asks only for the rows it paints, so a terminal's
// tens of thousands of records fill and sort in a blink. Appended rows are announced as
// insertions; a cleared or sorted grid resets the model.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

namespace px {

class RecordGrid;

class RecordModel : public QAbstractTableModel {
public:
    explicit RecordModel(RecordGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetHeaders(const QStringList& headers);
    // The grid changed: shows what it holds now.
    void Sync();
    // Whether the grid's change since the last Sync is only rows appended.
    bool IsAppend() const;

private:
    RecordGrid& grid_;
    int shown_ = 0;
    unsigned long generation_ = 0;
    QStringList headers_;
};

} // namespace px
