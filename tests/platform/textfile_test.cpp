#include "platform/textfile.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/ioerror.h"
#include "platform/owners.h"
#include "support/temp_folder.h"

using platform::BufferedReader;
using platform::BufferedWriter;
using testing_support::TempFolder;

namespace {

std::vector<std::string> ReadAll(const std::string& path) {
  BufferedReader reader(path);
  std::vector<std::string> lines;
  std::string line;
  while (reader.ReadLine(line)) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(BufferedFiles, LinesSurviveBufferBoundaries) {
  TempFolder folder;
  std::vector<std::string> lines;
  // Lengths chosen so that line ends, and the CR LF pairs themselves, fall on every
  // offset around the 64 KiB refills.
  for (int i = 0; i < 3000; ++i) lines.push_back(std::string(i % 97, static_cast<char>('a' + i % 26)));
  lines.push_back("");
  lines.push_back("last \xE9 line");
  {
    BufferedWriter writer(folder / "listing.$$1");
    for (const std::string& line : lines) writer.WriteLine(line);
    writer.Close();
  }
  EXPECT_EQ(ReadAll(folder / "listing.$$1"), lines);
  {
    BufferedWriter writer(folder / "listing.$$2");  // in pieces, as the disk listing writes
    for (const std::string& line : lines) {
      writer.Write(line);
      writer.Write("\r\n", 2);
    }
    writer.Close();
  }
  EXPECT_EQ(ReadAll(folder / "listing.$$2"), lines);
}

TEST(BufferedFiles, DamagedAndOddLineEnds) {
  TempFolder folder;
  folder.Write("mixed", "one\r\ntwo\nthree\r\n\r\nno end");
  EXPECT_EQ(ReadAll(folder / "mixed"),
            std::vector<std::string>({"one", "two", "three", "", "no end"}));
  folder.Write("empty", "");
  EXPECT_TRUE(ReadAll(folder / "empty").empty());
  folder.Write("binary", std::string("a\0b\r\n", 5));
  EXPECT_EQ(ReadAll(folder / "binary"), std::vector<std::string>({std::string("a\0b", 3)}));
}

// Our own files: lines end in CR LF and stay short; anything else is damage, found without
// reading a huge line whole.
TEST(BufferedFiles, WrittenLinesEndInCrLfAndStayShort) {
  using Read = BufferedReader::Read;
  const struct {
    std::string bytes;
    std::vector<Read> reads;
  } cases[] = {
      {"one\r\n\r\nfour\r\n", {Read::Line, Read::Line, Read::Line, Read::End}},
      {"one\r\nno end", {Read::Line, Read::Damaged}},
      {"lone\nfeed\r\n", {Read::Damaged}},
      {"\nx\r\n", {Read::Damaged}},
      {"four\r\nfive5\r\n", {Read::Line, Read::Damaged}},
      {std::string(300000, 'x') + "\r\n", {Read::Damaged}},
      {std::string(300000, 'x'), {Read::Damaged}},
  };
  TempFolder folder;
  for (const auto& c : cases) {
    folder.Write("listing", c.bytes);
    BufferedReader reader(folder / "listing");
    std::string line;
    for (size_t i = 0; i < c.reads.size(); ++i)
      EXPECT_EQ(reader.ReadWrittenLine(line, 4), c.reads[i]) << c.bytes.substr(0, 20) << " read " << i;
  }
}

// The error box shows what() of the error: the operation, the file and the system's text
// for the code. Each way a report or listing file can fail, provoked for real.
TEST(BufferedFiles, ErrorsNameTheOperationTheFileAndTheCause) {
  TempFolder folder;
  folder.MakeFolder("folder.txt");
  folder.Write("held.txt", "held");
  platform::FileHandle held(CreateFileA((folder / "held.txt").c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  // Wine's ways to a device that is always full, and to a file whose reads fail.
  const std::string full = "\\\\?\\unix\\dev\\full", unreadable = "\\\\?\\unix\\proc\\self\\mem";

  const struct {
    const char* name;
    std::string path;
    std::function<void(const std::string&)> use;
    const char* operation;
    DWORD code;
    const char* cause;  // the system's text for the code
  } cases[] = {
      {"missing", folder / "missing.$$2", [](const std::string& p) { BufferedReader{p}; },
       "Cannot open", ERROR_FILE_NOT_FOUND, "File not found."},
      {"no folder", folder / "no folder\\x.txt", [](const std::string& p) { BufferedWriter{p}; },
       "Cannot create", ERROR_PATH_NOT_FOUND, "Path not found."},
      {"append, no folder", folder / "no folder\\x.txt",
       [](const std::string& p) { BufferedWriter(p, BufferedWriter::Mode::Append); },
       "Cannot open", ERROR_PATH_NOT_FOUND, "Path not found."},
      {"write refused", folder / "folder.txt", [](const std::string& p) { BufferedWriter{p}; },
       "Cannot create", ERROR_ACCESS_DENIED, "Access denied."},
      {"held by another", folder / "held.txt", [](const std::string& p) { BufferedReader{p}; },
       "Cannot open", ERROR_SHARING_VIOLATION, "Sharing violation."},
      {"read fails", unreadable,
       [](const std::string& p) {
         BufferedReader reader(p);
         std::string line;
         reader.ReadLine(line);
       },
       "Cannot read", ERROR_NOT_READY, "Not ready."},
      {"disk full", full,
       [](const std::string& p) {
         BufferedWriter writer(p);
         writer.WriteLine("header");
         writer.Close();
       },
       "Cannot write", ERROR_DISK_FULL, "Disk full."},
  };
  for (const auto& c : cases) {
    try {
      c.use(c.path);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const platform::IoError& e) {
      EXPECT_EQ(e.Operation(), c.operation) << c.name;
      EXPECT_EQ(e.Path(), c.path) << c.name;
      EXPECT_EQ(e.Code(), c.code) << c.name;
      EXPECT_EQ(std::string(e.what()), std::string(c.operation) + " " + c.path + ": " + c.cause)
          << c.name;
    }
  }
  // A code the system has no text for.
  EXPECT_EQ(platform::SystemErrorText(0x2000BEEF), "Error 536919791.");
}

TEST(BufferedFiles, WriterKeepsWhatWasWrittenWhenDroppedByAnError) {
  TempFolder folder;
  try {
    BufferedWriter writer(folder / "report.txt");
    writer.WriteLine("header");
    throw std::runtime_error("section failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(folder.Read("report.txt"), "header\r\n");
  EXPECT_TRUE(platform::DeleteFileIfPresent(folder / "report.txt"));
  EXPECT_TRUE(platform::DeleteFileIfPresent(folder / "report.txt"));
}
