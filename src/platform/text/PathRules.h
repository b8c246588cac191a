#pragma once

#include <QByteArray>

// The path rules of cue records. Paths are byte strings, stored as given; both '\' and '/'
// separate components, so a cue list made on another system still finds its sound files
// next to it. Paths handed to the file system are used as bytes, unchanged.
namespace mvpath {

// The longest path (in bytes, without a terminating zero) that the file system accepts.
constexpr int kMaxPath = 4095;

// True for '\' and '/'.
bool IsSeparator(char c);

// The file-name part: everything after the last separator (the whole path when it has none).
QByteArray FindFileName(const QByteArray& path);

// The extension of the file-name part, from its last '.', dot included; empty when there is
// no '.' in the file-name part.
QByteArray FindExtension(const QByteArray& path);

// The path with the extension of its file-name part cut off.
QByteArray RemoveExtension(const QByteArray& path);

// The path with its last component removed, and the separator before it ("a/b/c.mvl" gives
// "a/b"; "/c.mvl" gives "/"; "c.mvl" gives "").
QByteArray RemoveFileSpec(const QByteArray& path);

// True when the path names an existing file (not a folder).
bool FileExists(const QByteArray& path);

// The folder and the name joined with exactly one separator between them ('/' unless the
// folder already ends in a separator; separators at the start of the name are dropped).
// An empty folder gives the name. Returns false and leaves *result alone when the joined path
// would be longer than kMaxPath.
bool Append(const QByteArray& folder, const QByteArray& name, QByteArray* result);

// When the path names an existing file, returns the path. Otherwise, when its folder holds
// files whose names differ from the file-name part only in ASCII letter case, returns the path
// to the first of them in byte order. Otherwise returns an empty array.
QByteArray FindExistingIgnoringCase(const QByteArray& path);

}  // namespace mvpath
