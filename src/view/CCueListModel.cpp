#include "view/CCueListModel.h"

#include <algorithm>
#include <array>

#include "cuelist/CQRecord.h"

namespace {

struct ColumnSpec {
    const char* heading;
    int width;
};

constexpr std::array<ColumnSpec, CCueListModel::kColumnCount> kColumns = {{
    {"", 15},
    {"ID", 50},
    {"Description", 300},
    {"Filename", 100},
    {"Flags", 50},
    {"Chn", 40},
    {"Volume", 60},
    {"Pan", 50},
    {"In", 40},
    {"Out", 40},
    {"Notes", 300},
}};

}  // namespace

CCueListModel::CCueListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CCueListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CCueListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CCueListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount()) return {};
    const CQRecord* cue = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == 0 || cue == nullptr) return {};
            return cue->GetRowText(index.column());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
        case Qt::ToolTipRole:
            if (index.column() != 0 || m_problems.isEmpty()) return {};
            return m_problems.value(cue);
        case kProblemRole:
            return m_problems.contains(cue);
        case kCueRole:
            return QVariant::fromValue(
                static_cast<void*>(m_rows[static_cast<size_t>(index.row())]));
        default:
            return {};
    }
}

QVariant CCueListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return ColumnHeading(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags CCueListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    // Rows are selected and dragged; texts are never edited in place.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QString CCueListModel::ColumnHeading(int column) {
    if (column < 0 || column >= kColumnCount) return {};
    return QString::fromLatin1(kColumns[static_cast<size_t>(column)].heading);
}

int CCueListModel::DefaultColumnWidth(int column) {
    if (column < 0 || column >= kColumnCount) return 0;
    return kColumns[static_cast<size_t>(column)].width;
}

CQRecord* CCueListModel::CueAt(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    return m_rows[static_cast<size_t>(row)];
}

int CCueListModel::FindCue(const CQRecord* cue) const {
    if (cue == nullptr) return -1;
    const auto it = std::find(m_rows.begin(), m_rows.end(), cue);
    return it == m_rows.end() ? -1 : static_cast<int>(it - m_rows.begin());
}

void CCueListModel::Reset(const QList<CQRecord*>& cues) {
    beginResetModel();
    m_rows.assign(cues.begin(), cues.end());
    endResetModel();
}

int CCueListModel::Insert(CQRecord* cue, int row) {
    if (row < 0 || row > RowCount()) row = RowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, cue);
    endInsertRows();
    return row;
}

void CCueListModel::Remove(QList<int> rows) {
    const int count = RowCount();
    rows.removeIf([count](int row) { return row < 0 || row >= count; });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Remove runs of adjacent rows from the bottom up, so the indexes above stay valid.
    qsizetype i = rows.size() - 1;
    while (i >= 0) {
        const int last = rows[i];
        int first = last;
        while (i > 0 && rows[i - 1] == first - 1) {
            --first;
            --i;
        }
        --i;
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
    }
}

void CCueListModel::Move(int from, int gap) {
    const int count = RowCount();
    if (from < 0 || from >= count || gap < 0 || gap > count) return;
    // A gap just above or below the row leaves it where it is.
    if (gap == from || gap == from + 1) return;
    if (!beginMoveRows(QModelIndex(), from, from, QModelIndex(), gap)) return;
    CQRecord* cue = m_rows[static_cast<size_t>(from)];
    m_rows.erase(m_rows.begin() + from);
    const int to = gap > from ? gap - 1 : gap;
    m_rows.insert(m_rows.begin() + to, cue);
    endMoveRows();
}

void CCueListModel::RowChanged(int row) {
    if (row < 0 || row >= RowCount()) return;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void CCueListModel::SetProblems(const QHash<const CQRecord*, QString>& problems) {
    if (problems == m_problems) return;
    m_problems = problems;
    if (!m_rows.empty()) {
        emit dataChanged(index(0, 0), index(RowCount() - 1, 0), {Qt::ToolTipRole, kProblemRole});
    }
}
