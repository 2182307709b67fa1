#include "RecordModel.h"

#include "RecordGrid.h"

namespace px {

RecordModel::RecordModel(RecordGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), generation_(grid.generation)
{
    shown_ = static_cast<int>(grid_.rows.size());
}

int RecordModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shown_;
}

int RecordModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 5;
}

QVariant RecordModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_) return {};
    const auto& row = grid_.rows[static_cast<std::size_t>(index.row())];
    // Card IDs arrive as 8-bit text: shown byte for byte, never as broken UTF-8.
    const std::string& cell = row[static_cast<std::size_t>(index.column())];
    return QString::fromLatin1(cell.data(), static_cast<qsizetype>(cell.size()));
}

QVariant RecordModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return section < headers_.size() ? headers_[section] : QVariant();
}

void RecordModel::SetHeaders(const QStringList& headers)
{
    headers_ = headers;
    emit headerDataChanged(Qt::Horizontal, 0, 4);
}

bool RecordModel::IsAppend() const
{
    return grid_.generation == generation_ && static_cast<int>(grid_.rows.size()) >= shown_;
}

void RecordModel::Sync()
{
    const int now = static_cast<int>(grid_.rows.size());
    if (grid_.generation == generation_ && now >= shown_) {
        if (now > shown_) {
            beginInsertRows({}, shown_, now - 1);
            shown_ = now;
            endInsertRows();
        }
        return;
    }
    beginResetModel();
    shown_ = now;
    generation_ = grid_.generation;
    endResetModel();
}

} // namespace px
