#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <vector>

class CQRecord;

// The rows of the cue list view: one plain pointer to a document record per row, in row order.
// The texts are read from the record when a cell is drawn, so a row is never stale and a list
// of any length costs one pointer per row. UI thread only.
class CCueListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 11;
    // Role that gives the row's record (as a pointer) for any column.
    static constexpr int kCueRole = Qt::UserRole + 1;
    // Role that says (as a bool) whether the show check found a problem with the row's cue.
    static constexpr int kProblemRole = Qt::UserRole + 2;

    explicit CCueListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QString ColumnHeading(int column);
    static int DefaultColumnWidth(int column);

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    CQRecord* CueAt(int row) const;
    int FindCue(const CQRecord* cue) const;
    const std::vector<CQRecord*>& Rows() const { return m_rows; }

    // Replaces every row.
    void Reset(const QList<CQRecord*>& cues);
    // Inserts a row at `row` (-1 or past the end: appended); returns its index.
    int Insert(CQRecord* cue, int row);
    // Removes the given rows (any order; invalid and repeated rows are ignored).
    void Remove(QList<int> rows);
    // Moves row `from` into the gap before row `gap` (0..row count).
    void Move(int from, int gap);
    // Tells the views that the texts (or the mark) of a row changed.
    void RowChanged(int row);
    // The show check's findings, by record: shown as a mark and a tooltip in column 0.
    void SetProblems(const QHash<const CQRecord*, QString>& problems);
    QString GetProblem(const CQRecord* cue) const { return m_problems.value(cue); }

private:
    std::vector<CQRecord*> m_rows;
    QHash<const CQRecord*, QString> m_problems;
};
