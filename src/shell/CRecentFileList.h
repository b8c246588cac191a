#pragma once

#include <QString>
#include <QStringList>

// The recent-file list of the File menu: the most recently opened or saved cue lists, newest
// first, at most kMaxEntries. Kept in the settings section "Recent File List" as "File1" ...
// "File4"; read at start-up and written at exit. UI thread only.
class CRecentFileList {
public:
    static constexpr int kMaxEntries = 4;
    // Longest text of an entry in the File menu.
    static constexpr int kMaxDisplayLength = 30;

    // Puts `path` at the top (moving it there when it is listed already; names are compared as
    // absolute paths) and drops the oldest entry beyond kMaxEntries.
    void Add(const QString& path);
    // Removes the entry at `index`, if there is one (a file that could not be opened).
    void Remove(int index);
    void Clear() { m_files.clear(); }

    int GetSize() const { return static_cast<int>(m_files.size()); }
    // The path at `index`, or an empty string.
    QString GetAt(int index) const { return m_files.value(index); }
    const QStringList& GetFiles() const { return m_files; }

    // The menu text of entry `index`: "&1 " and the name, shortened to at most kMaxDisplayLength
    // characters (the file name alone when the path is too long, then the file name cut with an
    // ellipsis).
    QString GetMenuText(int index) const;
    // The shortened name of `path` as the menu shows it.
    static QString AbbreviateName(const QString& path, int maxLength);

    // Reads and writes "Recent File List" in the program's settings.
    void ReadList();
    void WriteList() const;

private:
    QStringList m_files;
};
