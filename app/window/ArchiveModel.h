// The archive view's grid: the punches that match the view's filters, fetched a page at a time
// by the archive reader on its own thread, so the first rows of a million show at once and more
// come as the view scrolls; the window never waits on the database.
#pragma once

#include "ArchiveDb.h"
#include "Mailbox.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace px {

namespace archive {
class ArchiveReader;
}

class ArchiveModel : public QAbstractTableModel {
public:
    // target nullopt: the archive setting cannot be used (targetError says why).
    ArchiveModel(std::optional<archive::ArchiveTarget> target, std::string targetError,
                 QObject* parent = nullptr);
    ~ArchiveModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    void SetHeaders(const QStringList& headers);
    // Starts over with these filters (date range, terminal, card); the order is the punch time.
    void SetQuery(const archive::PunchQuery& filter);
    const archive::PunchQuery& Query() const { return filter_; }

    bool Loading() const { return pending_; }
    // Every matching punch is in the model.
    bool Complete() const { return complete_; }
    const std::string& Error() const { return error_; }
    // Runs when rows arrived, the last page came, or the reader failed.
    std::function<void()> changed;

    static constexpr long kPage = 200;

private:
    struct Row {
        std::int64_t id = 0;
        int terminal = 0;
        long index = 0;
        std::string name, card, event, punchedAt, downloadedAt, host;
    };
    void Request();
    void Arrived(long long ticket, std::vector<archive::StoredPunch> rows, std::string error);

    Mailbox mailbox_; // where the reader's rows arrive, on the model's thread
    std::unique_ptr<archive::ArchiveReader> reader_;
    std::string targetError_;
    archive::PunchQuery filter_;
    std::vector<Row> rows_;
    QStringList headers_;
    long long ticket_ = 0;
    bool pending_ = false;
    bool complete_ = true;
    std::string error_;
};

} // namespace px
