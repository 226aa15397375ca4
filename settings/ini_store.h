#pragma once
// qxINI: a typed key/value store backed by a plain-text INI file.
//
// A part of the program binds its own variables to (section, key) pairs with
// `Register`, giving each a default; `Load` reads a file and writes every value
// it finds straight into the bound variables; `Save` writes the variables'
// current values back. The store never owns the variables: a bound variable
// must outlive every later `Load` or `Save` on the store.
//
// Line syntax: see settings/ini_text.h. A registered key binds wherever it
// stands in the file, whatever its section. Keys nobody registered are kept
// and written back under the section they were read in. A malformed line is
// reported and skipped; the lines after it are still read, so one bad line
// never costs the values of the others. A save replaces the file whole or
// leaves it as it was (settings/whole_file.h).
//
// Messages go to the log stream (support_log) unless the store was given a
// stream of its own, one line each. GUI thread only; no locking.

#include <cassert>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "settings/ini_value.h"

namespace tessaline {

struct IniLine;

// How a load went. Callers decide by the kind: only a file that could not be
// opened may be replaced by one written with the defaults.
enum class IniLoadResult {
  kRead,       // every line was read
  kNotOpened,  // no such file, or not a file; nothing changed
  kMalformed,  // some lines were skipped; the values of the others are assigned
};

namespace ini_detail {
template <typename T>
struct Identity {
  using type = T;
};
}  // namespace ini_detail

class qxINI {
 public:
  // One (section, key) pair; `target` is empty for a key read from a file
  // that nobody registered.
  struct Entry {
    std::string section;
    std::string key;
    std::string text;  // as read by the last load, or as refreshed by the last save
    IniTarget target;  // not owned
  };

  // Messages go to the log stream of the calling thread.
  qxINI();
  // Messages go to `console`, which must outlive the store.
  explicit qxINI(std::ostream& console);

  // Binds `*target` to (section, key) and sets it to `default_value`. A second
  // registration of the same pair prints "KEYhad been registered." and leaves
  // the variable alone. The default's type follows the pointer, so
  // Register("x", "y", &unsigned_long_var, 14) compiles.
  template <typename T>
  void Register(const std::string& section, const std::string& key, T* target,
                typename ini_detail::Identity<T>::type default_value) {
    static_assert(kIsIniValue<T>, "qxINI cannot bind a variable of this type");
    assert(target != nullptr && "qxINI::Register needs a variable to bind");
    if (IsRegistered(section, key)) return;
    *target = std::move(default_value);
    entries_.push_back(Entry{section, key, std::string(), IniTarget(target)});
  }

  // Reads the file at `path`. When it cannot be opened the path and the
  // values stay as they were; otherwise the path becomes `path`.
  IniLoadResult LoadFile(const std::string& path);
  // True only when `LoadFile` gives kRead.
  bool Load(const std::string& path);

  // Reads INI text from `in` as `LoadFile` reads a file, without touching the
  // path. False when a malformed line was skipped.
  bool Parse(std::istream& in);

  // Refreshes this store's bound entries from their variables and writes the
  // entries of `pairs` (the program always passes this store) to `path`, or
  // to the path of the last successful load when `path` is empty. The file is
  // replaced whole; on failure it keeps its old bytes.
  bool Save(qxINI* pairs, const std::string& path);

  // Refreshes the bound entries and writes this store's INI text to `out`,
  // exactly what `Save` writes to a file.
  void Write(std::ostream& out);

  // Moves every bound number that lies outside its range in the settings
  // table (settings/setting_bounds.h) to the nearest end of that range, with
  // one line on `log` per value mended, naming the key, the value read and
  // the value used. Run after a load; returns the number of values mended.
  int MendValues(std::ostream& log);

  const std::string& Path() const { return path_; }

 private:
  // Prints "KEYhad been registered." when the pair is taken.
  bool IsRegistered(const std::string& section, const std::string& key);
  Entry* FindKey(const std::string& key);
  // Prints why a line cannot be read.
  void ReportMalformed(const IniLine& line);
  void AddPair(const std::string& section, const std::string& key, const std::string& value);
  void RefreshTexts();
  void WriteEntries(std::ostream& out) const;
  std::ostream& Console() const;

  std::ostream* console_ = nullptr;  // not owned; null: support_log()
  std::vector<Entry> entries_;
  std::string path_;
};

}  // namespace tessaline
