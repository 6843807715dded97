// Listings and copies damaged at random, as a folder that other programs can write to may
// leave them: no compare crashes or hangs; each ends in an error that names the file and
// the line, as it must where the damage is certain to show, or in lists that keep clear
// of the undamaged records. VORTAN4_DAMAGE_SEED picks another run; a failure prints the
// seed and the case, and VORTAN4_DAMAGE_CASE runs that case alone.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "disk_testing.h"
#include "engines/disk.h"
#include "engines/ini.h"
#include "engines/registry.h"
#include "platform/ioerror.h"
#include "platform/owners.h"
#include "support/temp_folder.h"

using testing_support::TempFolder;

namespace {

constexpr unsigned long kCases = 10000;
constexpr unsigned long kDefaultSeed = 20261207;

unsigned long FromEnvironment(const char* name, unsigned long otherwise) {
  const char* text = std::getenv(name);
  return text && *text ? std::strtoul(text, nullptr, 10) : otherwise;
}

// What a crash or a hang leaves to go on: printed by the crash filter and the watchdog.
std::atomic<unsigned long> currentCase{0};
std::atomic<unsigned long> currentSeed{0};
const char* currentReader = "";

void PrintCase(const char* what) {
  std::fprintf(stderr, "%s reader, seed %lu, case %lu: %s\n", currentReader,
               currentSeed.load(), currentCase.load(), what);
  std::fflush(stderr);
}

LONG WINAPI PrintCrashedCase(EXCEPTION_POINTERS*) {
  PrintCase("crashed");
  return EXCEPTION_CONTINUE_SEARCH;
}

// Ends the program, naming the case, when one case takes more than a few seconds.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Watch(); }) {}
  ~Watchdog() {
    done_ = true;
    thread_.join();
  }

 private:
  void Watch() {
    unsigned long seen = currentCase;
    auto since = std::chrono::steady_clock::now();
    while (!done_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (currentCase != seen) {
        seen = currentCase;
        since = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - since > std::chrono::seconds(10)) {
        PrintCase("hangs");
        TerminateProcess(GetCurrentProcess(), 3);
      }
    }
  }
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The lines of a text, each with its line end.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t from = 0; from < text.size();) {
    size_t end = text.find('\n', from);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(from, end - from));
    from = end;
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

// One to three kinds of damage at random places of a listing.
class Damager {
 public:
  explicit Damager(unsigned long seed) : random_(seed) {}

  bool OneIn(int n) { return Pick(1, n) == 1; }

  std::string Damage(const std::string& listing) {
    std::string text = listing;
    for (int i = Pick(1, 3); i > 0; --i) DamageOnce(text);
    return text;
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  size_t At(size_t size) { return size == 0 ? 0 : static_cast<size_t>(Pick(0, static_cast<int>(size) - 1)); }

  // Bytes that mean something to the readers come up more often than chance would have.
  char Byte() {
    static const char kTelling[] = {'\0', '\r', '\n', '/', '0', '1', '2', '3', '9', ':',
                                    '[',  ']',  '=',  '\\', 'C', '\x1A', '\xFF', ' '};
    if (Pick(0, 1)) return kTelling[At(sizeof kTelling)];
    return static_cast<char>(Pick(0, 255));
  }

  void DamageOnce(std::string& text) {
    std::vector<std::string> lines = Lines(text);
    switch (Pick(0, 8)) {
      case 0:  // truncated anywhere
        text.resize(At(text.size()));
        return;
      case 1:  // bytes flipped
        for (int i = Pick(1, 4); i > 0 && !text.empty(); --i) text[At(text.size())] = Byte();
        return;
      case 2:  // a line duplicated
        if (!lines.empty()) {
          size_t i = At(lines.size());
          lines.insert(lines.begin() + static_cast<long>(i), lines[i]);
        }
        break;
      case 3:  // two lines swapped, often neighbours
        if (lines.size() > 1) {
          size_t i = At(lines.size() - 1);
          size_t j = Pick(0, 1) ? i + 1 : At(lines.size());
          std::swap(lines[i], lines[j]);
        }
        break;
      case 4:  // a line lost
        if (!lines.empty()) lines.erase(lines.begin() + static_cast<long>(At(lines.size())));
        break;
      case 5:  // a piece cut out of a line, its end perhaps with it
        if (!lines.empty()) {
          std::string& line = lines[At(lines.size())];
          size_t from = At(line.size());
          line.erase(from, static_cast<size_t>(Pick(1, 8)));
        }
        break;
      case 6: {  // a huge line: a long name, or no line end at all
        std::string huge(static_cast<size_t>(Pick(33000, 70000)), 'n');
        for (size_t i = 0; i < huge.size(); i += static_cast<size_t>(Pick(1, 12))) huge[i] = '\\';
        std::string& line = lines.empty() ? (lines.emplace_back(), lines.back()) : lines[At(lines.size())];
        line = line.substr(0, std::min<size_t>(line.size(), 5)) + huge + (Pick(0, 3) ? "\r\n" : "");
        break;
      }
      case 7:  // binary garbage over a stretch
        for (size_t i = At(text.size()), n = static_cast<size_t>(Pick(1, 64)); n > 0 && i < text.size(); --n, ++i)
          text[i] = static_cast<char>(Pick(0, 255));
        return;
      default:  // nothing but garbage
        text.assign(static_cast<size_t>(Pick(1, 4096)), '\0');
        for (char& c : text) c = static_cast<char>(Pick(0, 255));
        return;
    }
    text = Joined(lines);
  }

  std::mt19937 random_;
};

// The one damaged file, written afresh for each case with as few calls as can be: most of
// the run's time goes into opening files.
void Rewrite(const std::string& path, const std::string& bytes) {
  platform::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                &written, nullptr));
}

// Every entry of a compare's lists as one text: the entry's text, and a value's name.
using Entries = std::vector<std::string>;
template <size_t N>
Entries Flattened(const engines::ResultList (&lists)[N]) {
  Entries entries;
  for (const engines::ResultList& list : lists)
    for (const engines::ListEntry& entry : list) {
      const auto* value = std::get_if<engines::RegObject>(&entry.item);
      entries.push_back(value ? entry.text + '\x01' + value->valueName : entry.text);
    }
  return entries;
}

// A reader under test: its good listing, the format's rules that any damage breaking them
// must be noticed, and a compare of two files in either order.
struct ReaderCase {
  const char* name;
  std::string good;         // the file holding the undamaged listing
  size_t longestLine;       // the longest line the format allows, without its CR LF
  bool levels;              // lines begin with a level, at most one deeper than the line before
  std::string first, second;  // the ends of two neighbouring siblings' first lines
  size_t siblingLines;      // the lines of each of them
  // Records may stand twice (device lines): a copy that the damage made then reads like
  // the undamaged record, so the check that those stay unreported cannot be made.
  bool repeats;
  // Of the default seed's cases, with a margin: the listing holds the test's own folder or
  // key, whose name (and so where the damage falls) differs from run to run.
  unsigned long detectedAtLeast;
  std::function<Entries(const std::string& before, const std::string& after)> compare;
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The listing with the two siblings swapped: names out of order.
std::string SwapSiblings(const std::string& listing, const ReaderCase& reader) {
  std::vector<std::string> lines = Lines(listing);
  auto find = [&](const std::string& end) {
    for (size_t i = 0; i < lines.size(); ++i)
      if (EndsWith(lines[i], end + "\r\n")) return i;
    return lines.size();
  };
  const size_t first = find(reader.first), second = find(reader.second);
  if (second != first + reader.siblingLines || second + reader.siblingLines > lines.size())
    return {};
  std::rotate(lines.begin() + static_cast<long>(first), lines.begin() + static_cast<long>(second),
              lines.begin() + static_cast<long>(second + reader.siblingLines));
  return Joined(lines);
}

// Why no reader can take the text for a listing, or null when it might: a line cut (the
// file ends inside it, or a line feed stands without its carriage return), a line longer
// than the format allows, a level more than one deeper than the line before.
const char* CertainDamage(const std::string& text, const ReaderCase& reader) {
  unsigned previous = '0' - 1;  // the first line is a root
  for (const std::string& line : Lines(text)) {
    if (!EndsWith(line, "\r\n") || line.find('\n') != line.size() - 1) return "a cut line";
    if (line.size() - 2 > reader.longestLine) return "a line over the limit";
    const unsigned level = static_cast<unsigned char>(line[0]);
    if (reader.levels && line.size() > 2 && level >= previous + 2) return "a level jump";
    previous = level;
  }
  return nullptr;
}

// The error of a damaged listing names the damaged file and the line.
::testing::AssertionResult ClearError(const std::exception& error, const std::string& damaged) {
  const std::string text = error.what();
  std::string path;
  if (const auto* io = dynamic_cast<const platform::IoError*>(&error))
    path = io->Path();
  else if (const auto* registry = dynamic_cast<const engines::RegistryListingCorrupted*>(&error))
    path = registry->Path();
  if (path == damaged && text.find(damaged) != std::string::npos &&
      text.find("line ") != std::string::npos)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "unclear error: " << text;
}

// Each case ends in an error that names the damaged file and line, which it must where the
// damage breaks the format or puts siblings out of order; or in lists that leave out every
// record the damaged listing shares with the good one from its start on: the records
// before the first damaged line read the same in both.
void RunDamagedCases(const TempFolder& folder, const ReaderCase& reader) {
  const unsigned long seed = FromEnvironment("VORTAN4_DAMAGE_SEED", kDefaultSeed);
  const unsigned long only = FromEnvironment("VORTAN4_DAMAGE_CASE", 0);
  currentReader = reader.name;
  currentSeed = seed;
  const std::string listing = folder.Read(reader.good.substr(folder.Path().size()));
  const std::vector<std::string> goodLines = Lines(listing);
  const std::string swapped = SwapSiblings(listing, reader);
  ASSERT_FALSE(swapped.empty()) << reader.first << " and " << reader.second << " are no neighbours";
  const std::string damaged = folder / "damaged.$$2";

  // What the compare names of the records of the first n good lines, n = 0, 1, ...: a
  // start that ends in the middle of a record takes the records before it.
  const std::string empty = folder / "empty.$$1";
  Rewrite(empty, "");
  std::vector<Entries> startEntries(1);
  std::string start;
  for (const std::string& line : goodLines) {
    Rewrite(damaged, start += line);
    try {
      startEntries.push_back(reader.compare(empty, damaged));
    } catch (const std::exception&) {
      startEntries.push_back(startEntries.back());
    }
  }

  SetUnhandledExceptionFilter(PrintCrashedCase);
  Watchdog watchdog;
  Damager damager(seed);
  unsigned long errors = 0, certain = 0;
  for (unsigned long n = 1; n <= kCases; ++n) {
    currentCase = n;
    const bool swap = damager.OneIn(16);
    const std::string text = swap ? swapped : damager.Damage(listing);
    if (only != 0 && n != only) continue;
    const char* mustFail = swap ? "siblings out of order" : CertainDamage(text, reader);
    certain += mustFail != nullptr;
    Rewrite(damaged, text);
    const std::vector<std::string> lines = Lines(text);
    size_t shared = 0;  // the lines before the first damaged one
    while (!reader.repeats && shared < lines.size() && shared < goodLines.size() &&
           lines[shared] == goodLines[shared])
      ++shared;
    try {
      const Entries entries = n % 2 ? reader.compare(reader.good, damaged)
                                    : reader.compare(damaged, reader.good);
      if (mustFail)
        ADD_FAILURE() << "no error for " << mustFail << ", seed " << seed << ", case " << n;
      // A changed INI key is reported as its line, "=to=" and the new value.
      for (const std::string& entry : entries)
        for (const std::string& kept : startEntries[shared])
          EXPECT_FALSE(entry == kept || entry.rfind(kept + "=to=", 0) == 0)
              << "the undamaged " << kept << " reported as " << entry << ", seed " << seed
              << ", case " << n;
    } catch (const std::exception& error) {
      ++errors;
      EXPECT_TRUE(ClearError(error, damaged)) << "seed " << seed << ", case " << n;
    }
    if (::testing::Test::HasFailure()) return;
  }
  if (only != 0) return;
  EXPECT_GT(certain, kCases / 10);
  if (seed == kDefaultSeed) {
    EXPECT_GE(errors, reader.detectedAtLeast);
  }
  std::printf("%s reader, seed %lu: %lu of %lu cases ended in an error, %lu had to\n",
              reader.name, seed, errors, kCases, certain);
}

}  // namespace

TEST(DamagedListings, Disk) {
  TempFolder folder;
  for (const char* file : {"tree\\a.txt", "tree\\B.DLL", "tree\\sub\\x~1.tmp", "tree\\sub\\_y",
                           "tree\\sub\\deeper\\z z.ini", "tree\\sub\\deeper\\\xE9t\xE9.txt",
                           "tree\\zz\\one", "tree\\zz\\two", "other\\readme", "other\\q\\r"})
    folder.Write(file, file);
  folder.MakeFolder("tree\\empty");
  const std::string good = folder / "VORTAN$$.$$1";
  engines::SnapshotDisks(good,
                         disk_testing::Watch({disk_testing::WatchedRoot(folder) + "\\tree",
                                              disk_testing::WatchedRoot(folder) + "\\other"}),
                         nullptr);
  RunDamagedCases(folder, {"disk", good, 5 + MAX_PATH, true, "one", "two", 1, false, 8500,
                           [](const std::string& before, const std::string& after) {
                             engines::ResultList lists[3];
                             engines::CompareDiskSnapshots(before, after, lists[0], lists[1],
                                                           lists[2], nullptr);
                             return Flattened(lists);
                           }});
}

TEST(DamagedListings, Registry) {
  TempFolder folder;
  const std::string name = "Software\\Vortan4Damaged-" + std::to_string(GetCurrentProcessId());
  const std::string users = ".Default\\" + name;
  auto set = [&](HKEY root, const std::string& key, const char* value, DWORD type,
                 const std::string& data) {
    ASSERT_EQ(RegSetKeyValueA(root, key.c_str(), value, type, data.data(),
                              static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  };
  set(HKEY_USERS, users, "Wallpaper", REG_SZ, std::string("(None)\0", 7));
  set(HKEY_USERS, users + "\\Colors", "Window", REG_SZ, std::string("255 255 255\0", 12));
  set(HKEY_LOCAL_MACHINE, name, "", REG_SZ, std::string("default\0", 8));
  set(HKEY_LOCAL_MACHINE, name, "Path", REG_EXPAND_SZ, std::string("%windir%\\x\0", 12));
  set(HKEY_LOCAL_MACHINE, name, "Count", REG_DWORD, std::string("\x07\0\0\0", 4));
  set(HKEY_LOCAL_MACHINE, name, "Small", REG_BINARY, std::string("\x01\xAB\x00", 3));
  set(HKEY_LOCAL_MACHINE, name, "Large", REG_BINARY, std::string(40, '\x5A'));
  set(HKEY_LOCAL_MACHINE, name, "Long", REG_SZ, std::string(300, 'L') + '\0');
  set(HKEY_LOCAL_MACHINE, name, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
  set(HKEY_LOCAL_MACHINE, name + "\\Sub", "v", REG_SZ, std::string("1\0", 2));
  set(HKEY_LOCAL_MACHINE, name + "\\Sub\\Inner", "w", REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4));
  set(HKEY_LOCAL_MACHINE, name + "\\Sub\\Inner\\Deepest", "", REG_SZ, std::string("", 1));
  set(HKEY_LOCAL_MACHINE, name + "\\Zeta", "z", REG_SZ, std::string("zz\0", 3));
  const std::string good = folder / "REG$$$$$.$$1";
  engines::SnapshotRegistryFrom(good, {{HKEY_USERS, "HKEY_USERS", "\\" + users},
                                       {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "\\" + name}},
                                engines::TrackedList(), nullptr, nullptr);
  RegDeleteTreeA(HKEY_USERS, users.c_str());
  RegDeleteKeyA(HKEY_USERS, users.c_str());
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, name.c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, name.c_str());
  RunDamagedCases(folder, {"registry", good, 2 + 16383, true, "Count", "Large", 2, false, 9400,
                           [](const std::string& before, const std::string& after) {
                             engines::ResultList lists[5];
                             engines::CompareRegistrySnapshots(before, after, lists[0], lists[1],
                                                               lists[2], lists[3], lists[4], nullptr);
                             return Flattened(lists);
                           }});
}

TEST(DamagedListings, IniCopy) {
  TempFolder folder;
  folder.Write("app.ini",
               "[Windows]\r\nload=\r\nrun=c:\\x.exe\r\nBeep=yes\r\n[Desktop]\r\nWallpaper=(None)\r\n"
               "TileWallpaper=0\r\n[Acme]\r\na=1\r\nb=2\r\nc=3\r\n[acme tools]\r\npath=c:\\acme\r\n"
               "[Fonts]\r\nArial (TrueType)=ARIAL.TTF\r\nCourier=COURE.FON\r\n");
  engines::SnapshotIniFile(folder / "app.ini", folder.Path(), ".$$1");
  const std::string good = engines::IniCopyPath(folder / "app.ini", folder.Path(), ".$$1");
  RunDamagedCases(folder, {"INI copy", good, 2 * 16384 + 2048, false, "[Acme]a=1", "[Acme]b=2", 1,
                           false, 9377, [](const std::string& before, const std::string& after) {
                             engines::ResultList lists[5];
                             engines::CompareIniSnapshots(before, after, lists[0], lists[1],
                                                          lists[2], lists[3], lists[4]);
                             return Flattened(lists);
                           }});
}

TEST(DamagedListings, DeviceFile) {
  TempFolder folder;
  folder.Write("system.ini",
               "[386Enh]\r\ndevice=*vpicd\r\nDEVICE=*vtd\r\ndevice=c:\\acme\\acme.386\r\n"
               "device=*vxdldr\r\ndevice=*vtd\r\nwoafont=dosapp.fon\r\nkeyboarddevice=x\r\n"
               "[boot]\r\nshell=Explorer.exe\r\n");
  const std::string good = folder / "DEV$$$$$.$$1";
  engines::SnapshotSystemIniDevices(folder / "system.ini", good);
  RunDamagedCases(folder, {"device file", good, 2 * 16384 + 2048, false,
                           "device=c:\\acme\\acme.386", "keyboarddevice=x", 1, true, 8257,
                           [](const std::string& before, const std::string& after) {
                             engines::ResultList lists[3];
                             engines::CompareSystemIniDevices(before, after, lists[0], lists[1],
                                                              lists[2]);
                             return Flattened(lists);
                           }});
}
