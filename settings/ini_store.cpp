#include "settings/ini_store.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "settings/ini_text.h"
#include "settings/log_stream.h"
#include "settings/setting_bounds.h"
#include "settings/whole_file.h"

namespace tessaline {
namespace {

// Converts `value` into the bound variable and prints the report line, or
// prints why it does not convert and sets `text` to what Save will write.
template <typename T>
void AssignValue(std::ostream& console, const std::string& key, const std::string& value, T* target,
                 std::string* text) {
  if (!IniFromText(value, target)) {
    console << "[qxINI::Load] Value '" << value << "' of key '" << key << "' is not a valid "
            << kIniTypeName<T> << "; the previous value is kept." << std::endl;
    *text = IniToText(*target);
    return;
  }
  // The value as the console formats it: six significant digits for floats.
  console << "[setting] " << key << " : " << value << " (" << kIniTypeName<T> << " : " << *target
          << ")" << std::endl;
}

// A double* variable is never assigned; the double it points to is reported.
void AssignValue(std::ostream& console, const std::string& key, const std::string& value,
                 double** target, std::string* /*text*/) {
  console << "[setting] " << key << " : " << value << " (" << kIniTypeName<double*> << " : ";
  if (*target == nullptr)
    console << "null";
  else
    console << **target;
  console << ")" << std::endl;
}

void AssignValue(std::ostream&, const std::string&, const std::string&, std::monostate,
                 std::string*) {}

// Puts a number outside `bound` back inside it and says so on `log`; other
// types are left alone.
template <typename T>
bool MendValue(const SettingBound& bound, const qxINI::Entry& entry, T* target, std::ostream& log) {
  if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool> && !kIsIniCharacter<T>) {
    const double value = static_cast<double>(*target);
    const double bounded = BoundedValue(bound, value);
    if (bounded == value) return false;
    *target = static_cast<T>(bounded);
    log << "setting " << entry.key << " : " << (entry.text.empty() ? IniToText(value) : entry.text)
        << " is out of range (" << bound.min << " to " << bound.max << "); " << *target
        << " is used" << std::endl;
    return true;
  }
  return false;
}

bool MendValue(const SettingBound&, const qxINI::Entry&, double**, std::ostream&) { return false; }
bool MendValue(const SettingBound&, const qxINI::Entry&, std::monostate, std::ostream&) {
  return false;
}

template <typename T>
void RefreshText(T* target, std::string* text) {
  *text = IniToText(*target);
}

// Unbound and double* entries keep their text.
void RefreshText(double**, std::string*) {}
void RefreshText(std::monostate, std::string*) {}

}  // namespace

qxINI::qxINI() = default;

qxINI::qxINI(std::ostream& console) : console_(&console) {}

// Looked up at each message: the log streams are per thread.
std::ostream& qxINI::Console() const { return console_ ? *console_ : support_log(); }

bool qxINI::IsRegistered(const std::string& section, const std::string& key) {
  for (const Entry& entry : entries_) {
    if (entry.key == key && entry.section == section) {
      Console() << key << "had been registered." << std::endl;
      return true;
    }
  }
  return false;
}

qxINI::Entry* qxINI::FindKey(const std::string& key) {
  for (Entry& entry : entries_)
    if (entry.key == key) return &entry;
  return nullptr;
}

IniLoadResult qxINI::LoadFile(const std::string& path) {
  // A directory "opens" as a stream on this platform but is no settings file.
  std::error_code error;
  const bool is_directory = std::filesystem::is_directory(path, error);
  std::ifstream file;
  if (!is_directory) file.open(path);
  if (!file.is_open()) {
    Console() << "[qxINI::Load] Invalid or corrupted file specified" << std::endl;
    return IniLoadResult::kNotOpened;
  }
  path_ = path;
  return Parse(file) ? IniLoadResult::kRead : IniLoadResult::kMalformed;
}

bool qxINI::Load(const std::string& path) { return LoadFile(path) == IniLoadResult::kRead; }

bool qxINI::Parse(std::istream& in) {
  bool all_read = true;
  std::string section;
  std::string raw;
  while (std::getline(in, raw)) {
    const IniLine line = ParseIniLine(raw);
    switch (line.kind) {
      case IniLine::Kind::kBlank:
        break;
      case IniLine::Kind::kHeader:
        section = line.section;
        break;
      case IniLine::Kind::kPair:
        AddPair(section, line.key, line.value);
        break;
      case IniLine::Kind::kUnclosedHeader:
      case IniLine::Kind::kMissingEquals:
      case IniLine::Kind::kUnclosedQuote:
        // The line is skipped; the section stays that of the last good header.
        ReportMalformed(line);
        all_read = false;
        break;
    }
  }
  return all_read;
}

void qxINI::ReportMalformed(const IniLine& line) {
  if (line.kind == IniLine::Kind::kUnclosedHeader) {
    Console() << "[qxINI::Load] Header tag opened with '[' but not closed with ']'" << std::endl;
  } else if (line.kind == IniLine::Kind::kMissingEquals) {
    Console() << "[qxINI::Load] Value '" << line.cleaned
              << "' is not a header and not a valid value, missing '='." << std::endl;
  } else {
    Console() << "[qxINI::Load] Value '" << line.value << "' of key '" << line.key
              << "' opens a quote but does not close it." << std::endl;
  }
}

void qxINI::AddPair(const std::string& section, const std::string& key, const std::string& value) {
  // The section is not compared: a registered key binds wherever it stands.
  Entry* entry = FindKey(key);
  if (entry == nullptr) {
    entries_.push_back(Entry{section, key, value, IniTarget()});
    return;
  }
  entry->text = value;
  std::visit([&](auto target) { AssignValue(Console(), key, value, target, &entry->text); },
             entry->target);
}

bool qxINI::Save(qxINI* pairs, const std::string& path) {
  if (pairs == nullptr) {
    Console() << "[qxINI::Save] Null-pointer specified for 'pairs' argument." << std::endl;
    return false;
  }
  const std::string& destination = path.empty() ? path_ : path;
  Console() << "saving the settings to " << destination << "..." << std::endl;
  RefreshTexts();
  std::ostringstream text;
  pairs->WriteEntries(text);
  if (!ReplaceFile(destination, text.str())) {
    Console() << "[qxINI::Save] Cannot save file at path " << destination << std::endl;
    return false;
  }
  return true;
}

int qxINI::MendValues(std::ostream& log) {
  int mended = 0;
  for (const Entry& entry : entries_) {
    const SettingBound* bound = FindSettingBound(entry.section, entry.key);
    if (bound == nullptr || !bound->mend_when_read) continue;
    mended += std::visit([&](auto target) { return MendValue(*bound, entry, target, log); },
                         entry.target);
  }
  return mended;
}

void qxINI::Write(std::ostream& out) {
  RefreshTexts();
  WriteEntries(out);
}

void qxINI::RefreshTexts() {
  for (Entry& entry : entries_)
    std::visit([&](auto target) { RefreshText(target, &entry.text); }, entry.target);
}

void qxINI::WriteEntries(std::ostream& out) const {
  // An empty section first needs no header; after another one it is "[]".
  std::string last_section;
  for (const Entry& entry : entries_) {
    if (entry.section != last_section) {
      out << '[' << entry.section << "]\n";
      last_section = entry.section;
    }
    out << entry.key << '=' << IniValueText(entry.text) << '\n';
  }
}

}  // namespace tessaline
