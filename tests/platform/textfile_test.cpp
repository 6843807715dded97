#include "platform/textfile.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/ioerror.h"
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

TEST(BufferedFiles, ErrorsNameTheFile) {
  TempFolder folder;
  try {
    BufferedReader reader(folder / "missing.$$2");
    FAIL();
  } catch (const platform::IoError& e) {
    EXPECT_EQ(e.Path(), folder / "missing.$$2");
    EXPECT_EQ(e.Code(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(std::string(e.what()).find(folder / "missing.$$2"), std::string::npos);
  }
  EXPECT_THROW(BufferedWriter(folder / "no folder\\x.txt"), platform::IoError);
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
