#include "ArchiveModel.h"

#include "ArchiveReader.h"

namespace px {

namespace {

constexpr int kColumns = 7;

QString Q(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace

ArchiveModel::ArchiveModel(std::optional<archive::ArchiveTarget> target, std::string targetError,
                           QObject* parent)
    : QAbstractTableModel(parent), targetError_(std::move(targetError))
{
    headers_ = {"Terminal", "No.", "Card ID", "Event", "Punch time", "Downloaded (UTC)", "PC"};
    if (!target) return;
    reader_ = std::make_unique<archive::ArchiveReader>(
        std::move(*target),
        [this](long long ticket, std::vector<archive::StoredPunch> rows, std::string error) {
            // On the reader's thread: the rows are handed to the model's own.
            mailbox_.Post(
                [this, ticket, rows = std::move(rows), error = std::move(error)]() mutable {
                    Arrived(ticket, std::move(rows), std::move(error));
                });
        });
}

ArchiveModel::~ArchiveModel()
{
    reader_.reset(); // its thread ends before the model it reports to
}

int ArchiveModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ArchiveModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant ArchiveModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() ||
        index.row() >= static_cast<int>(rows_.size()))
        return {};
    const Row& r = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
    case 0:
        return QString("%1 %2").arg(r.terminal, 3, 10, QChar('0')).arg(Q(r.name));
    case 1:
        return QString::number(r.index + 1);
    case 2:
        return Q(r.card);
    case 3:
        return Q(r.event);
    case 4:
        return Q(r.punchedAt);
    case 5:
        return Q(r.downloadedAt);
    case 6:
        return Q(r.host);
    default:
        return {};
    }
}

QVariant ArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return section >= 0 && section < headers_.size() ? headers_[section] : QVariant();
}

void ArchiveModel::SetHeaders(const QStringList& headers)
{
    headers_ = headers;
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
}

void ArchiveModel::SetQuery(const archive::PunchQuery& filter)
{
    beginResetModel();
    rows_.clear();
    filter_ = filter;
    filter_.order = archive::PunchQuery::Order::Time;
    filter_.after.reset();
    filter_.limit = kPage;
    ++ticket_; // an answer to an earlier query is dropped
    pending_ = false;
    complete_ = false;
    error_.clear();
    endResetModel();
    if (!reader_) {
        error_ = targetError_;
        complete_ = true;
        if (changed) changed();
        return;
    }
    Request();
}

bool ArchiveModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !complete_ && !pending_;
}

void ArchiveModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent)) Request();
}

void ArchiveModel::Request()
{
    archive::PunchQuery q = filter_;
    if (!rows_.empty()) q.after = std::make_pair(rows_.back().punchedAt, rows_.back().id);
    pending_ = true;
    reader_->Request(ticket_, q);
}

void ArchiveModel::Arrived(long long ticket, std::vector<archive::StoredPunch> rows,
                           std::string error)
{
    if (ticket != ticket_) return;
    pending_ = false;
    error_ = std::move(error);
    if (!error_.empty() || static_cast<long>(rows.size()) < kPage) complete_ = true;
    if (!rows.empty()) {
        const int first = static_cast<int>(rows_.size());
        beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
        for (auto& p : rows)
            rows_.push_back({p.id, p.terminalId, p.recordIndex, std::move(p.terminalName),
                             std::move(p.cardId), std::move(p.event), std::move(p.punchedAt),
                             std::move(p.downloadedAt), std::move(p.host)});
        endInsertRows();
    }
    if (changed) changed();
}

} // namespace px
