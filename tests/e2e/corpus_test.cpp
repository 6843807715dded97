// The installer corpus of ../shared/corpus through the real window, in disk contents
// mode and in real-time mode: each report must hold every change of the installer's
// ground truth (truth.json) with the right data, and nothing else but what the truth
// calls incidental and what follows from the truth (below); in real-time mode each change
// stands under the program that made it. tests/e2e/corpus.sh builds the corpus, prepares a prefix
// of its own (the installers run from D:) and runs these tests there.
#include <map>
#include <regex>
#include <set>

#include "corpus_fixture.h"
#include "platform/valuenames.h"

namespace e2e {
namespace {

using engines::LowerAscii;

const char kWindowsKeyOfWinIni[] =
    "hkey_users\\s-1-5-21-0-0-0-1000\\software\\microsoft\\windows nt\\currentversion\\windows";

// Wine's own programs that may start during a session; what they change is not the
// installer's.
const Incidental kWineProcesses({R"(^explorer\.exe$)", R"(^services\.exe$)", R"(^winedevice\.exe$)"});

// Which program makes which change in real-time mode: the changes matching the pattern
// (over the change's identity) are the second program's, the rest the first's.
struct Owners {
  const char* installer;
  const char* pattern;
  const char* other;
};
const std::map<std::string, Owners> kOwners = {
    {"a1-notes", {"a1-notes.exe", nullptr, nullptr}},
    {"a2-update", {"a2-update.exe", nullptr, nullptr}},
    {"a3-inidrv", {"a3-inidrv.exe", nullptr, nullptr}},
    // The secondary setup also makes HKCU\Software\Marigold: the suite writes HKLM only.
    {"a4-suite",
     {"a4-suite.exe",
      R"(common files\\marigold|software\\marigold\\runtime|^hkey_users\\[^\\]+\\software\\marigold$)",
      "mgruntime.exe"}},
    // The helper makes its config folder and file, Configured and the HKCU keys.
    {"a5-deep",
     {"a5-deep.exe",
      R"(osprey toolkit\\config|\|configured$|^hkey_users\\[^\\]+\\software\\osprey)",
      "ospcfg.exe"}},
    {"a6-msi", {"msiexec.exe", nullptr, nullptr}},
    {"a7-batch", {"cmd.exe", nullptr, nullptr}},
};

// One change in the checker's terms, after the corpus's own: a kind and an identity.
// Files and folders are one kind here, as the report does not tell them apart.
struct Change {
  std::string kind;
  std::string identity;
  bool operator<(const Change& other) const {
    return kind != other.kind ? kind < other.kind : identity < other.identity;
  }
};

std::string Describe(const Change& change) { return change.kind + " " + change.identity; }

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char byte : bytes) {
    if (!text.empty()) text += ',';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

// How the report prints data: numbers signed, strings as they are, other data as bytes,
// folded into 16 (exclusive or) past 16 bytes, not at all from 32K on. An empty text
// where the truth does not give the data.
std::string ReportedData(const Json& value) {
  const std::string type = value["type"].text;
  const Json& data = value["data"];
  if (type == "REG_DWORD") return std::to_string(static_cast<int32_t>(data.integer));
  if (type == "REG_SZ" || type == "REG_EXPAND_SZ") return data.text;
  std::string bytes;
  if (type == "REG_MULTI_SZ") {
    for (const Json& item : data.items) bytes += item.text + '\0';
    bytes += '\0';
  } else if (data.kind == Json::Kind::String) {
    for (size_t i = 0; i + 1 < data.text.size(); i += 2)
      bytes += static_cast<char>(std::strtoul(data.text.substr(i, 2).c_str(), nullptr, 16));
  } else {
    return value["data_size"].integer >= 32768 ? "Binary data over 32K - changes not tracked" : "";
  }
  if (bytes.size() >= 32768) return "Binary data over 32K - changes not tracked";
  if (bytes.size() <= 16) return Hex(bytes);
  std::string folded(16, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) folded[i % 16] ^= bytes[i];
  return Hex(folded);
}

// How the real-time report prints data, as the driver hands it over: numbers unsigned,
// strings cut at the first NUL, a list whole with "." between its strings, other data as a dump
// of every byte, a "," between the bytes of each full 16 and a space after them.
std::string RealTimeData(const Json& value) {
  const std::string type = value["type"].text;
  const Json& data = value["data"];
  if (type == "REG_DWORD") return std::to_string(static_cast<uint32_t>(data.integer));
  if (type == "REG_SZ" || type == "REG_EXPAND_SZ") return data.text;
  if (type == "REG_MULTI_SZ") {
    std::string list;
    for (const Json& item : data.items) list += (list.empty() ? "" : ".") + item.text;
    return list;
  }
  if (data.kind != Json::Kind::String) return "";  // long data: the truth has its digest only
  std::string bytes;
  for (size_t i = 0; i + 1 < data.text.size(); i += 2)
    bytes += static_cast<char>(std::strtoul(data.text.substr(i, 2).c_str(), nullptr, 16));
  std::string text;
  size_t whole = bytes.size() / 16 * 16;
  for (size_t i = 0; i < whole; i += 16) text += Hex(bytes.substr(i, 16)) + " ";
  const std::string rest = Hex(bytes.substr(whole));
  for (char c : rest)
    if (c != ',') text += c;
  return text;
}

class Truth {
 public:
  Truth(const Json& truth, bool realTime) : realTime_(realTime) {
    const Json& expected = truth["expected"];
    for (const char* list : {"files_added", "dirs_added"})
      for (const Json& item : expected[list].items) Path("path+", item);
    for (const char* list : {"files_deleted", "dirs_deleted"})
      for (const Json& item : expected[list].items) Path("path-", item);
    for (const Json& item : expected["files_changed"].items) Path("path~", item);
    const Json& registry = expected["registry"];
    for (const Json& key : registry["keys_added"].items) Add({"key+", LowerAscii(key.text)}, "");
    for (const Json& key : registry["keys_deleted"].items) Add({"key-", LowerAscii(key.text)}, "");
    for (const Json& value : registry["values_added"].items)
      Add(ValueChange("val+", value), Data(value));
    // A key deleted whole is reported with its values in real-time mode too: the capture
    // reads them before the key goes.
    for (const Json& value : registry["values_deleted"].items) Add(ValueChange("val-", value), "");
    for (const Json& value : registry["values_changed"].items)
      Add(ValueChange("val~", value), Data(value["new"]) + "|" + Data(value["old"]));
    for (const Json& ini : expected["ini"].items) IniChanges(ini);
    for (const Json& incidental : truth["incidental"].items) {
      std::set<std::string> kinds;
      for (const Json& kind : incidental["kinds"].items) kinds.insert(Kind(kind.text));
      for (const Json& pattern : incidental["match"].items)
        incidental_.push_back({kinds, std::regex(pattern.text, std::regex::icase)});
    }
  }

  // Expected changes with the report's data ("new|old" for a change), empty when the
  // truth leaves it open.
  const std::map<Change, std::string>& Expected() const { return expected_; }

  bool IsIncidental(const Change& change) const {
    for (const auto& [kinds, pattern] : incidental_)
      if (kinds.count(change.kind) && std::regex_search(change.identity, pattern)) return true;
    return false;
  }

 private:
  // The corpus tells files from folders; the report does not.
  static std::string Kind(const std::string& kind) {
    if (kind == "file+" || kind == "dir+") return "path+";
    if (kind == "file-" || kind == "dir-") return "path-";
    if (kind == "file~") return "path~";
    return kind;
  }

  std::string Data(const Json& value) const {
    return realTime_ ? RealTimeData(value) : ReportedData(value);
  }

  void Add(const Change& change, const std::string& data) { expected_[change] = data; }

  void Path(const char* kind, const Json& item) {
    Add({kind, LowerAscii(item.kind == Json::Kind::String ? item.text : item["path"].text)}, "");
  }

  static Change ValueChange(const char* kind, const Json& value) {
    return {kind, LowerAscii(value["key"].text) + "|" + LowerAscii(value["name"].text)};
  }

  void IniChanges(const Json& ini) {
    const std::string file = LowerAscii(ini["file"].text) + "|";
    auto key = [&](const char* kind, const std::string& section, const std::string& name,
                   const std::string& value) {
      Add({kind, file + LowerAscii(section) + "|" + LowerAscii(name) + "=" + value}, "");
    };
    for (const char* list : {"sections_added", "sections_deleted"}) {
      const bool added = list[9] == 'a';
      for (const Json& section : ini[list].items) {
        Add({added ? "sec+" : "sec-", file + LowerAscii(section["section"].text)}, "");
        // The keys of a section come and go with it.
        for (const Json& pair : section["keys"].items)
          key(added ? "ink+" : "ink-", section["section"].text, pair.items[0].text,
              pair.items[1].text);
      }
    }
    for (const Json& item : ini["keys_added"].items)
      key("ink+", item["section"].text, item["key"].text, item["value"].text);
    for (const Json& item : ini["keys_deleted"].items)
      key("ink-", item["section"].text, item["key"].text, item["value"].text);
    for (const Json& item : ini["keys_changed"].items)
      Add({"ink~", file + LowerAscii(item["section"].text) + "|" + LowerAscii(item["key"].text)},
          item["new"].text + "|" + item["old"].text);
  }

  bool realTime_;
  std::map<Change, std::string> expected_;
  std::vector<std::pair<std::set<std::string>, std::regex>> incidental_;
};

// The changes of the CSV form, with their data as above, and in real-time mode the
// program that made each.
std::map<Change, std::string> ReportedChanges(const std::string& csv,
                                              std::map<Change, std::string>& programs) {
  static const std::map<std::string, std::string> kKinds = {
      {"File|Add File/Dir", "path+"}, {"File|Del File/Dir", "path-"},
      {"File|Add File", "path+"},     {"File|Del File", "path-"},
      {"File|Add Dir", "path+"},      {"File|Del Dir", "path-"},
      {"File|Change File", "path~"},  {"Registry|Add Key", "key+"},
      {"Registry|Del Key", "key-"},   {"Registry|Add Value", "val+"},
      {"Registry|Del Value", "val-"}, {"Registry|Change Value", "val~"},
      {"INI|Add Section", "sec+"},    {"INI|Del Section", "sec-"},
      {"INI|Add Key", "ink+"},        {"INI|Del Key", "ink-"},
      {"INI|Change Key", "ink~"}};
  std::map<Change, std::string> changes;
  for (const std::string& line : CrLfLines(csv)) {
    CsvRow row = ParseCsvLine(line);
    row.resize(10);
    const auto kind = kKinds.find(row[0] + "|" + row[1]);
    if (kind == kKinds.end()) continue;  // the header rows
    Change change{kind->second, ""};
    std::string data;
    if (row[0] == "File") {
      change.identity = LowerAscii(row[2]);
    } else if (row[0] == "Registry") {
      change.identity = LowerAscii(row[4]);
      if (change.kind.rfind("val", 0) == 0) {
        change.identity += "|" + LowerAscii(platform::RealValueName(row[6]));
        if (change.kind == "val+") data = row[7];
        if (change.kind == "val~") data = row[7] + "|" + row[8];
      }
    } else {
      const std::string section = LowerAscii(row[3].substr(1, row[3].size() - 2));
      change.identity = LowerAscii(row[2]) + "|" + section;
      if (change.kind == "ink+" || change.kind == "ink-")
        change.identity += "|" + LowerAscii(row[5]) + "=" + row[7];
      if (change.kind == "ink~") {
        change.identity += "|" + LowerAscii(row[5]);
        data = row[8] + "|" + row[7];  // the value after the install stands last here
      }
    }
    EXPECT_TRUE(changes.emplace(change, data).second) << "twice in the report: " << line;
    programs[change] = LowerAscii(row[9]);
  }
  return changes;
}

// What follows from the changes without being in the truth: a folder in which something
// was added or deleted has a new time; a value of win.ini's [windows] section, which Wine
// keeps in the registry, reads as a key of win.ini through the profile functions too.
bool FollowsFromTheChanges(const Change& change, const std::map<Change, std::string>& reported,
                           const std::map<Change, std::string>& expected, const std::string& data) {
  if (change.kind == "path~") {
    for (const auto& [other, unused] : reported)
      if ((other.kind == "path+" || other.kind == "path-") &&
          other.identity.rfind(change.identity + "\\", 0) == 0 &&
          other.identity.find('\\', change.identity.size() + 1) == std::string::npos)
        return true;
    return false;
  }
  static const std::regex windowsKey(R"(c:\\windows\\win\.ini\|windows\|([^=|]*)(=(.*))?)");
  std::smatch match;
  if ((change.kind == "ink+" || change.kind == "ink~") &&
      std::regex_match(change.identity, match, windowsKey)) {
    const auto value = expected.find({"val+", std::string(kWindowsKeyOfWinIni) + "|" + match[1].str()});
    const std::string after = change.kind == "ink+" ? match[3].str() : data.substr(0, data.find('|'));
    return value != expected.end() && value->second == after;
  }
  return false;
}

class Corpus : public CorpusInstall {
 protected:
  // Runs the installer in the mode and checks both forms of the report against the truth.
  // From outside: real-time tracking with the program field empty, and the installer
  // started by the test, as from the desktop.
  enum class Launch { ByTheProgram, FromOutside };
  void RunAndCheck(int mode, Launch launch = Launch::ByTheProgram) {
    const bool realTime = mode == IDC_rbTmReal;
    const auto [program, parameters] = CommandOf(truth_);
    Start("win98");
    if (launch == Launch::FromOutside) {
      gui::Click(Item(IDC_rbTmReal));
      gui::ClickAsync(Item(IDC_btnInstall));
      ASSERT_TRUE(gui::WaitFor([&] { return Enabled(IDC_btnInstDone); }, gui_tests::kSessionTimeout));
      RunOutside(program, parameters);
    } else {
      ChooseProgram(program, parameters, mode);
      ASSERT_TRUE(GoAndWaitForTheInstall()) << program << " " << parameters;
    }
    ASSERT_TRUE(CompleteAndWaitForTheReport());
    const std::string text = folder.Read("RPT_0000.TXT");
    const std::string csv = folder.Read("EXTRARPT.CSV");
    std::map<Change, std::string> programs;
    const std::map<Change, std::string> reported = ReportedChanges(csv, programs);

    // Both forms list the same changes, in real-time mode under the same programs.
    size_t entries = 0;
    const TextReport parsed = ParseTextReport(text);
    for (const Block& block : parsed.blocks) entries += block.entries.size();
    if (realTime) entries = TextEntriesByProgram(parsed, csv);
    EXPECT_EQ(entries, reported.size()) << text << csv;

    const Truth truth(truth_, realTime);
    for (const auto& [change, data] : truth.Expected()) {
      const auto seen = reported.find(change);
      if (seen == reported.end()) {
        ADD_FAILURE() << "missing: " << Describe(change);
      } else if (!data.empty()) {
        EXPECT_EQ(seen->second, data) << Describe(change);
      }
      // INI files are compared in every mode, so no program comes with their changes.
      const bool ini = change.kind.rfind("sec", 0) == 0 || change.kind.rfind("ink", 0) == 0;
      if (realTime && !ini && seen != reported.end()) {
        EXPECT_EQ(programs[change], OwnerOf(change)) << Describe(change);
      }
    }
    for (const auto& [change, data] : reported) {
      if (truth.Expected().count(change) || truth.IsIncidental(change) ||
          kBesidesTheTruth.Matches(Describe(change)) ||
          (realTime && kWineProcesses.Matches(programs[change])) ||
          ((!realTime || change.kind != "path~") &&
           FollowsFromTheChanges(change, reported, truth.Expected(), data)))
        continue;
      ADD_FAILURE() << "not the installer's: " << Describe(change) << " " << data << " "
                    << programs[change];
    }
    if (HasFailure()) std::cout << text << "\n" << csv;
  }

  // Starts the installer and waits for it and for every program of the install it starts.
  void RunOutside(const std::string& program, const std::string& parameters) {
    gui::App installer(program, parameters);
    ASSERT_TRUE(installer.Started()) << program;
    installer.WaitExit(gui_tests::kSessionTimeout);
    const Owners& owners = kOwners.at(GetParam());
    EXPECT_TRUE(gui::WaitFor(
        [&] {
          return !gui_tests::ProcessRunning(owners.installer) &&
                 (!owners.other || !gui_tests::ProcessRunning(owners.other));
        },
        gui_tests::kSessionTimeout));
  }

  // The program that makes the change, after the installer's source.
  std::string OwnerOf(const Change& change) const {
    const Owners& owners = kOwners.at(GetParam());
    if (owners.pattern &&
        std::regex_search(change.identity, std::regex(owners.pattern, std::regex::icase)))
      return owners.other;
    return owners.installer;
  }

  // Fails where the text form names another program for a block's entries than the CSV
  // form does; gives the number of entries without the "---by process " lines.
  static size_t TextEntriesByProgram(const TextReport& text, const std::string& csv) {
    static const std::map<std::string, std::string> kHeadings = {
        {"FILES ADDED: ", "Add File"},       {"FILES DELETED: ", "Del File"},
        {"FILES CHANGED: ", "Change File"},  {"DIRECTORIES ADDED: ", "Add Dir"},
        {"DIRECTORIES DELETED: ", "Del Dir"}, {"REGISTRY KEYS ADDED: ", "Add Key"},
        {"REGISTRY KEYS DELETED: ", "Del Key"}, {"REGISTRY KEY VALUES ADDED: ", "Add Value"},
        {"REGISTRY KEY VALUES CHANGED: ", "Change Value"},
        {"REGISTRY KEY VALUES DELETED: ", "Del Value"}};
    std::map<std::string, int> byText, byCsv;  // "subtype|program" -> entries
    size_t entries = 0;
    for (const Block& block : text.blocks) {
      const auto subType = kHeadings.find(block.heading);
      std::string program;
      for (const std::string& entry : block.entries) {
        if (entry.rfind("---by process ", 0) == 0) {
          program = LowerAscii(entry.substr(14));
          continue;
        }
        ++entries;
        if (subType == kHeadings.end()) continue;  // INI files: compared, no programs
        EXPECT_FALSE(program.empty()) << "no process line before " << entry;
        ++byText[subType->second + "|" + program];
      }
    }
    for (const std::string& line : CrLfLines(csv)) {
      CsvRow row = ParseCsvLine(line);
      row.resize(10);
      if (row[0] == "File" || row[0] == "Registry") ++byCsv[row[1] + "|" + LowerAscii(row[9])];
    }
    EXPECT_EQ(byText, byCsv);
    return entries;
  }

};

TEST_P(Corpus, ReportMatchesTheTruth) { RunAndCheck(IDC_rbTmDisk); }

// Tracked in real-time mode, then "VORTAN4.EXE /UNDO <report> /Y": the machine as it was
// before the install, files with their contents and times, registry and INI files.
TEST_P(Corpus, RealTimeUndoPutsTheMachineBack) {
  RecordMachine(".b");
  ASSERT_NO_FATAL_FAILURE(TrackTheInstaller(IDC_rbTmReal));
  RecordMachine(".a");
  ASSERT_FALSE(MachineDifferences(".b", ".a").empty());
  EXPECT_EQ(gui::App(exe, "/UNDO " + folder / "RPT_0000.TXT /Y").WaitExit(), 0)
      << folder.Read("RPT_0000.UNDO.TXT");
  RecordMachine(".u");
  EXPECT_EQ(MachineDifferences(".b", ".u"), std::vector<std::string>());
}

// Every change under the program that made it; what the installer tool creates and removes
// again is no change.
TEST_P(Corpus, RealTimeReportMatchesTheTruth) { RunAndCheck(IDC_rbTmReal); }

// The same with the installer started from outside the program.
TEST_P(Corpus, RealTimeFromOutsideMatchesTheTruth) { RunAndCheck(IDC_rbTmReal, Launch::FromOutside); }

INSTANTIATE_TEST_SUITE_P(SetA, Corpus, ::testing::ValuesIn(kCorpusInstallers), CorpusTestName);

}  // namespace
}  // namespace e2e
