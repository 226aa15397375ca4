#include "settings/ini_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_folder.h"
#include "settings/ini_text.h"

namespace tessaline {
namespace {

using Kind = IniLine::Kind;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Writes `bytes` to the file `name` in `dir`; gives the file's path.
std::string PutFile(const TempFolder& dir, const std::string& name, const std::string& bytes) {
  WriteBytes(dir / name, bytes);
  return dir / name;
}

bool ParseText(qxINI& store, const std::string& text) {
  std::istringstream in(text);
  return store.Parse(in);
}

std::string Written(qxINI& store) {
  std::ostringstream out;
  store.Write(out);
  return out.str();
}

struct LineCase {
  const char* raw;
  Kind kind;
  const char* cleaned;
  const char* section;
  const char* key;
  const char* value;
};

TEST(IniLine, CutsCommentsTrimsBlanksAndClassifies) {
  const LineCase cases[] = {
      // Blanks around keys, sections and values go; blanks inside them stay.
      {"sub_scale_list = 16,9, 32,18", Kind::kPair, "sub_scale_list = 16,9, 32,18", "",
       "sub_scale_list", "16,9, 32,18"},
      {"image_dir=./My Photos", Kind::kPair, "image_dir=./My Photos", "", "image_dir",
       "./My Photos"},
      {"\t my key \t=  two\twords \r", Kind::kPair, "my key \t=  two\twords", "", "my key",
       "two\twords"},
      {"image_dir=./images//old", Kind::kPair, "image_dir=./images", "", "image_dir", "./images"},
      {"image_dir=http:/x", Kind::kPair, "image_dir=http:/x", "", "image_dir", "http:/x"},
      {"a=1 ; note", Kind::kPair, "a=1", "", "a", "1"},
      {"a=x#y;z", Kind::kPair, "a=x", "", "a", "x"},
      {"a=x;y#z", Kind::kPair, "a=x", "", "a", "x"},
      {"a=x//y;z", Kind::kPair, "a=x", "", "a", "x"},
      {"a = b = c", Kind::kPair, "a = b = c", "", "a", "b = c"},
      {"a= \t", Kind::kPair, "a=", "", "a", ""},
      {" =5", Kind::kPair, "=5", "", "", "5"},
      {"]a=1", Kind::kPair, "]a=1", "", "]a", "1"},
      {"  # width=3", Kind::kBlank, "", "", "", ""},
      {"// width=3", Kind::kBlank, "", "", "", ""},
      {" \t \r", Kind::kBlank, "", "", "", ""},
      {"", Kind::kBlank, "", "", "", ""},
      {" [ my gl ] ", Kind::kHeader, "[ my gl ]", "my gl", "", ""},
      {"[gl]draw=1", Kind::kHeader, "[gl]draw=1", "gl", "", ""},
      {"[ ]", Kind::kHeader, "[ ]", "", "", ""},
      {"[a=b]", Kind::kHeader, "[a=b]", "a=b", "", ""},
      {"[gl ; ]", Kind::kUnclosedHeader, "[gl", "", "", ""},
      {"[gl", Kind::kUnclosedHeader, "[gl", "", "", ""},
      {"a b c ", Kind::kMissingEquals, "a b c", "", "", ""},
      {"x[y]", Kind::kMissingEquals, "x[y]", "", "", ""},
      // Quoted values keep their content as it stands, blanks and comment
      // markers included; the rest of the line is a comment.
      {"image_dir = \"./My Photos\" ; note", Kind::kPair, "image_dir = \"./My Photos\"", "",
       "image_dir", "./My Photos"},
      {"a=\"x;y#z//w\"", Kind::kPair, "a=\"x", "", "a", "x;y#z//w"},
      {"a=\"q\\\"b\\\\c\\n\"", Kind::kPair, "a=\"q\\\"b\\\\c\\n\"", "", "a", "q\"b\\c\n"},
      {"a=  \"  padded \"  trail", Kind::kPair, "a=  \"  padded \"  trail", "", "a", "  padded "},
      {"a=x\"y\"", Kind::kPair, "a=x\"y\"", "", "a", "x\"y\""},
      {"a= ;\"x\"", Kind::kPair, "a=", "", "a", ""},
      {"a=\"open", Kind::kUnclosedQuote, "a=\"open", "", "a", "\"open"},
      {"a=\"end\\\"", Kind::kUnclosedQuote, "a=\"end\\\"", "", "a", "\"end\\\""},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(std::string("line '") + c.raw + "'");
    const IniLine line = ParseIniLine(c.raw);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.cleaned, c.cleaned);
    EXPECT_EQ(line.section, c.section);
    EXPECT_EQ(line.key, c.key);
    EXPECT_EQ(line.value, c.value);
  }
}

TEST(qxINI, RegisterSetsDefaultsAndIgnoresASecondRegistration) {
  std::ostringstream console;
  qxINI store(console);
  int width = 0;
  int other = 0;
  int height = 0;
  store.Register("window", "width", &width, 640);
  store.Register("window", "width", &other, 800);
  store.Register("gl", "width", &height, 480);  // same key, other section: fine
  EXPECT_EQ(width, 640);
  EXPECT_EQ(other, 0);
  EXPECT_EQ(height, 480);
  EXPECT_EQ(console.str(), "widthhad been registered.\n");
  EXPECT_EQ(Written(store), "[window]\nwidth=640\n[gl]\nwidth=480\n");
}

TEST(qxINI, LoadReportsEachValueWithItsType) {
  std::ostringstream console;
  qxINI store(console);
  int matching_x = 1;
  double scale = 0;
  std::string dir;
  bool draw = false;
  char mark = 'a';
  store.Register("mosaic", "matching_x", &matching_x, 1);
  store.Register("mosaic", "scale", &scale, 1.0);
  store.Register("image", "image_dir", &dir, "./images");
  store.Register("gl", "draw", &draw, false);
  store.Register("gl", "mark", &mark, 'a');
  ASSERT_TRUE(ParseText(store, "matching_x=2\nscale=0.1234567\nimage_dir=./x\ndraw=1\nmark=q\n"));
  EXPECT_EQ(Lines(console.str()), (std::vector<std::string>{
                                      "[setting] matching_x : 2 (int : 2)",
                                      "[setting] scale : 0.1234567 (double : 0.123457)",
                                      "[setting] image_dir : ./x (string : ./x)",
                                      "[setting] draw : 1 (bool : 1)",
                                      "[setting] mark : q (char : q)",
                                  }));
  EXPECT_EQ(matching_x, 2);
  EXPECT_DOUBLE_EQ(scale, 0.1234567);
  EXPECT_EQ(dir, "./x");
  EXPECT_TRUE(draw);
  EXPECT_EQ(mark, 'q');
}

// Each row registers one variable, loads one text into it and checks the value
// and the text Save writes back.
template <typename T>
void ExpectConverts(const char* text, T expected, const char* saved) {
  SCOPED_TRACE(std::string("text '") + text + "' as " + kIniTypeName<T>);
  std::ostringstream console;
  qxINI store(console);
  T value{};
  store.Register("s", "v", &value, T{});
  ASSERT_TRUE(ParseText(store, std::string("v=") + text));
  EXPECT_EQ(value, expected);
  EXPECT_EQ(Written(store), std::string("[s]\nv=") + saved + "\n");
}

TEST(qxINI, ConvertsEveryValueTypeBothWays) {
  ExpectConverts<int>("-12", -12, "-12");
  ExpectConverts<int>("+7", 7, "7");
  ExpectConverts<unsigned int>("4294967295", 4294967295u, "4294967295");
  ExpectConverts<short>("-32768", -32768, "-32768");
  ExpectConverts<unsigned short>("65535", 65535, "65535");
  ExpectConverts<long>("-9000000000", -9000000000L, "-9000000000");
  ExpectConverts<unsigned long>("18446744073709551615", std::numeric_limits<unsigned long>::max(),
                                "18446744073709551615");
  ExpectConverts<double>("0.03", 0.03, "0.029999999999999999");
  ExpectConverts<double>("0.96", 0.96, "0.95999999999999996");
  ExpectConverts<double>("0.04", 0.04, "0.040000000000000001");
  ExpectConverts<double>("7.0", 7.0, "7");
  ExpectConverts<double>("1e0", 1.0, "1");
  ExpectConverts<double>("-2.5E-3", -0.0025, "-0.0025000000000000001");
  // 0.1f is 0.100000001490116...; nine significant digits.
  ExpectConverts<float>("0.1", 0.1f, "0.100000001");
  ExpectConverts<long double>("0.5", 0.5L, "0.5");
  ExpectConverts<long double>("0.25e1", 2.5L, "2.5");
  ExpectConverts<std::string>("a=b,c", std::string("a=b,c"), "a=b,c");
  ExpectConverts<std::string>("", std::string(), "");
  ExpectConverts<char>("z", 'z', "z");
  ExpectConverts<unsigned char>("Z", static_cast<unsigned char>('Z'), "Z");
  ExpectConverts<bool>("1", true, "1");
  ExpectConverts<bool>("0", false, "0");
}

// A text that is not a T leaves the variable at its previous value (here from
// an earlier line), prints one line naming key and value, and the load goes on.
template <typename T>
void ExpectRejects(T previous, const char* previous_text, const char* text) {
  SCOPED_TRACE(std::string("text '") + text + "' as " + kIniTypeName<T>);
  std::ostringstream console;
  qxINI store(console);
  T value{};
  int after = 0;
  store.Register("s", "v", &value, T{});
  store.Register("s", "after", &after, 0);
  const std::string file = std::string("v=") + previous_text + "\nv=" + text + "\nafter=9\n";
  ASSERT_TRUE(ParseText(store, file));
  EXPECT_EQ(value, previous);
  EXPECT_EQ(after, 9);
  const std::vector<std::string> lines = Lines(console.str());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], std::string("[qxINI::Load] Value '") + text + "' of key 'v' is not a valid " +
                          kIniTypeName<T> + "; the previous value is kept.");
  EXPECT_EQ(Written(store), std::string("[s]\nv=") + previous_text + "\nafter=9\n");
}

TEST(qxINI, KeepsThePreviousValueOfABadValueAndGoesOn) {
  ExpectRejects<int>(5, "5", "abc");
  ExpectRejects<int>(5, "5", "3.5");
  ExpectRejects<int>(5, "5", "");
  ExpectRejects<int>(5, "5", "99999999999");
  ExpectRejects<unsigned int>(5, "5", "-1");
  ExpectRejects<unsigned long>(5, "5", "-1");
  ExpectRejects<unsigned short>(5, "5", "-0");
  ExpectRejects<short>(5, "5", "70000");
  ExpectRejects<short>(5, "5", "*11111");
  ExpectRejects<long>(5, "5", "0x10");
  ExpectRejects<double>(0.5, "0.5", "1.5x");
  ExpectRejects<double>(0.5, "0.5", "");
  ExpectRejects<double>(0.5, "0.5", "1,5");
  ExpectRejects<float>(0.5f, "0.5", "1e40");
  ExpectRejects<long double>(0.5L, "0.5", "abc");
  ExpectRejects<char>('x', "x", "ab");
  ExpectRejects<char>('x', "x", "");
  ExpectRejects<unsigned char>('x', "x", "xy");
  ExpectRejects<bool>(true, "1", "2");
  ExpectRejects<bool>(true, "1", "+1");
  ExpectRejects<bool>(true, "1", "true");
}

TEST(qxINI, RejectedValueBeforeAnyGoodOneKeepsTheDefault) {
  std::ostringstream console;
  qxINI store(console);
  double scale = 0;
  store.Register("mosaic", "touched_tile_scale", &scale, 0.96);
  ASSERT_TRUE(ParseText(store, "touched_tile_scale=big"));
  EXPECT_EQ(scale, 0.96);
  EXPECT_EQ(Written(store), "[mosaic]\ntouched_tile_scale=0.95999999999999996\n");
}

TEST(qxINI, SkipsAMalformedLineAndReadsTheRest) {
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"a=1\nab c ; x\nb=2\n",
       "[qxINI::Load] Value 'ab c' is not a header and not a valid value, missing '='."},
      {"a=1\n[gl\nb=2\n", "[qxINI::Load] Header tag opened with '[' but not closed with ']'"},
      {"a=1\nc = \"no end ; x\nb=2\n",
       "[qxINI::Load] Value '\"no end ; x' of key 'c' opens a quote but does not close it."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::ostringstream console;
    qxINI store(console);
    int a = 0;
    int b = 0;
    store.Register("s", "a", &a, 0);
    store.Register("s", "b", &b, 0);
    EXPECT_FALSE(ParseText(store, c.file));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(Lines(console.str()),
              (std::vector<std::string>{"[setting] a : 1 (int : 1)", c.message,
                                        "[setting] b : 2 (int : 2)"}));
    // Nothing of the skipped line is kept.
    EXPECT_EQ(Written(store), "[s]\na=1\nb=2\n");
  }
}

TEST(qxINI, LoadFileTellsReadFromNotOpenedFromMalformed) {
  TempFolder dir;
  struct Case {
    std::string path;
    IniLoadResult result;
    int width;
  };
  const Case cases[] = {
      {PutFile(dir, "good.ini", "width=3\n"), IniLoadResult::kRead, 3},
      {dir / "missing.ini", IniLoadResult::kNotOpened, 640},
      {PutFile(dir, "bad.ini", "[window\nheight=9\nwidth=4\n"), IniLoadResult::kMalformed, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::ostringstream console;
    qxINI store(console);
    int width = 0;
    store.Register("window", "width", &width, 640);
    EXPECT_EQ(store.LoadFile(c.path), c.result);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(store.Path(), c.result == IniLoadResult::kNotOpened ? "" : c.path);
    EXPECT_EQ(store.Load(c.path), c.result == IniLoadResult::kRead);
  }
}

TEST(qxINI, BindsARegisteredKeyWhateverSectionItStandsUnder) {
  std::ostringstream console;
  qxINI store(console);
  int width = 0;
  store.Register("window", "width", &width, 640);
  ASSERT_TRUE(ParseText(store, "width=100\n[gl]\nwidth=200\n"));
  EXPECT_EQ(width, 200);  // the last occurrence wins
  EXPECT_EQ(Written(store), "[window]\nwidth=200\n");
}

TEST(qxINI, WritesUnregisteredKeysBackInTheSectionTheyWereReadIn) {
  std::ostringstream console;
  qxINI store(console);
  int width = 0;
  store.Register("window", "width", &width, 640);
  ASSERT_TRUE(ParseText(store,
                        "top=t\n[ extra ]\nx=1\n=5\nempty=\n[window]\nwidth=3\n"
                        "[gl]draw=1\ny=a=b\nx=2\n"));
  EXPECT_TRUE(console.str().find("[setting] width : 3 (int : 3)\n") != std::string::npos);
  // x keeps the section it was first read in and takes its last value.
  EXPECT_EQ(Written(store),
            "[window]\nwidth=3\n[]\ntop=t\n[extra]\nx=2\n=5\nempty=\n[gl]\ny=a=b\n");
}

TEST(qxINI, WritesHeadersOnlyWhereTheSectionChanges) {
  std::ostringstream console;
  qxINI store(console);
  int top = 1, x = 2, y = 3, free_key = 4, w = 5;
  double a = 0, b = 0, c = 0, d = 0;
  store.Register("", "top", &top, 1);
  store.Register("window", "x", &x, 2);
  store.Register("window", "y", &y, 3);
  store.Register("", "free", &free_key, 4);
  store.Register("window", "w", &w, 5);
  store.Register("mosaic", "a", &a, 0.03);
  store.Register("mosaic", "b", &b, 7.0);
  store.Register("mosaic", "c", &c, 1.0);
  store.Register("mosaic", "d", &d, 0.04);
  w = 6;  // the value at the time of writing counts, not the default
  EXPECT_EQ(Written(store),
            "top=1\n[window]\nx=2\ny=3\n[]\nfree=4\n[window]\nw=6\n"
            "[mosaic]\na=0.029999999999999999\nb=7\nc=1\nd=0.040000000000000001\n");
}

TEST(qxINI, PointerToDoubleIsReportedButNeverAssigned) {
  std::ostringstream console;
  qxINI store(console);
  double target = 2.5;
  double* pointer = nullptr;
  store.Register("s", "p", &pointer, &target);
  ASSERT_TRUE(ParseText(store, "p=9"));
  EXPECT_EQ(pointer, &target);
  EXPECT_EQ(target, 2.5);
  EXPECT_EQ(console.str(), "[setting] p : 9 (double* : 2.5)\n");
  EXPECT_EQ(Written(store), "[s]\np=9\n");
}

TEST(qxINI, LoadsFilesWithCrLfAndWithoutAFinalLineBreak) {
  TempFolder dir;
  const std::string path = PutFile(dir, "a.ini", "[window]\r\nwidth = 320\r\nheight=240");
  std::ostringstream console;
  qxINI store(console);
  int width = 0, height = 0;
  store.Register("window", "width", &width, 640);
  store.Register("window", "height", &height, 480);
  ASSERT_TRUE(store.Load(path));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  EXPECT_EQ(store.Path(), path);
}

TEST(qxINI, SaveWithAnEmptyPathWritesToTheLoadedFile) {
  TempFolder dir;
  const std::string path = PutFile(dir, "a.cfg", "[image]\nimage_dir=./old\nkept = 1 2\n");
  std::ostringstream console;
  qxINI store(console);
  std::string image_dir;
  unsigned long search_num = 0;
  store.Register("image", "image_dir", &image_dir, "./images");
  store.Register("mosaic", "search_num", &search_num, 10ul);
  ASSERT_TRUE(store.Load(path));
  image_dir = "./new";
  console.str("");
  ASSERT_TRUE(store.Save(&store, ""));
  EXPECT_EQ(console.str(), "saving the settings to " + path + "...\n");
  EXPECT_EQ(ReadBytes(path),
            "[image]\nimage_dir=./new\n[mosaic]\nsearch_num=10\n[image]\nkept=\"1 2\"\n");
}

TEST(qxINI, FailedLoadLeavesPathAndValuesAlone) {
  TempFolder dir;
  const std::string good = PutFile(dir, "good.ini", "width=3\n");
  std::ostringstream console;
  qxINI store(console);
  int width = 0;
  store.Register("window", "width", &width, 640);
  ASSERT_TRUE(store.Load(good));
  console.str("");
  EXPECT_FALSE(store.Load(dir / "missing.ini"));
  EXPECT_EQ(console.str(), "[qxINI::Load] Invalid or corrupted file specified\n");
  EXPECT_EQ(store.Path(), good);
  EXPECT_EQ(width, 3);

  console.str("");
  EXPECT_FALSE(store.Load(dir / ""));  // a directory is no settings file
  EXPECT_EQ(console.str(), "[qxINI::Load] Invalid or corrupted file specified\n");
  EXPECT_EQ(store.Path(), good);
}

// Runs in a child process, where the log has not opened its file yet: a
// store made without a stream of its own logs to tessaline.log in the
// working directory. 0 when the file holds exactly its two lines.
int LogWithoutAStream() {
  TempFolder dir;
  if (chdir(dir.Path().c_str()) != 0) return 2;
  qxINI store;
  int width = 0;
  store.Register("window", "width", &width, 640);
  store.Load("missing.ini");
  store.Save(&store, "saved.ini");
  const std::string log = ReadBytes("tessaline.log");
  return log == "[qxINI::Load] Invalid or corrupted file specified\n"
                "saving the settings to saved.ini...\n"
             ? 0
             : 3;
}

TEST(qxINIDeathTest, WithoutAStreamItsMessagesGoToTheLog) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(LogWithoutAStream()), ::testing::ExitedWithCode(0), "");
}

TEST(qxINI, SaveFailuresPrintOneLineAndReturnFalse) {
  TempFolder dir;
  std::ostringstream console;
  qxINI store(console);
  int width = 0;
  store.Register("window", "width", &width, 640);

  EXPECT_FALSE(store.Save(nullptr, dir / "never.ini"));
  EXPECT_EQ(console.str(), "[qxINI::Save] Null-pointer specified for 'pairs' argument.\n");
  std::ifstream never(dir / "never.ini");
  EXPECT_FALSE(never.is_open());

  console.str("");
  EXPECT_FALSE(store.Save(&store, ""));  // never loaded: no path to fall back on
  EXPECT_EQ(console.str(), "saving the settings to ...\n[qxINI::Save] Cannot save file at path \n");

  console.str("");
  const std::string bad = dir / "no_such_dir/x.ini";
  EXPECT_FALSE(store.Save(&store, bad));
  EXPECT_EQ(Lines(console.str()).back(), "[qxINI::Save] Cannot save file at path " + bad);

  // A device that takes no data: the write fails after the open.
  console.str("");
  EXPECT_FALSE(store.Save(&store, "/dev/full"));
  EXPECT_EQ(Lines(console.str()).back(), "[qxINI::Save] Cannot save file at path /dev/full");
}

TEST(qxINI, SavedFileLoadsBackToTheSameValues) {
  TempFolder dir;
  const std::string path = dir / "round.ini";
  std::ostringstream console;
  qxINI first(console);
  double scale = 0;
  std::string list;
  first.Register("mosaic", "scale", &scale, 0.1 + 0.2);
  first.Register("mosaic", "sub_scale_list", &list, "16,9,32,18");
  ASSERT_TRUE(first.Save(&first, path));

  qxINI second(console);
  double scale2 = 0;
  std::string list2;
  second.Register("mosaic", "scale", &scale2, 0.0);
  second.Register("mosaic", "sub_scale_list", &list2, "");
  ASSERT_TRUE(second.Load(path));
  EXPECT_EQ(scale2, 0.1 + 0.2);  // 17 digits give the double back exactly
  EXPECT_EQ(list2, "16,9,32,18");
}

TEST(qxINI, ValuesComeBackFromAFileAsTheyWereSaved) {
  struct Case {
    const char* value;
    const char* line;  // as written to the file
  };
  const Case cases[] = {
      {"./My Photos", "v=\"./My Photos\""},
      {"  lead and trail\t", "v=\"  lead and trail\t\""},
      {"a;b#c//d", "v=\"a;b#c//d\""},
      {"\"quoted\" \\dir\\", "v=\"\\\"quoted\\\" \\\\dir\\\\\""},
      {"two\nlines\r", "v=\"two\\nlines\\r\""},
      // Bare values are written as they always were.
      {"", "v="},
      {"./images", "v=./images"},
      {"C:\\x\"y", "v=C:\\x\"y"},
  };
  TempFolder dir;
  const std::string path = dir / "round.cfg";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::ostringstream console;
    qxINI first(console);
    std::string value;
    first.Register("s", "v", &value, c.value);
    ASSERT_TRUE(first.Save(&first, path));
    EXPECT_EQ(ReadBytes(path), std::string("[s]\n") + c.line + "\n");
    qxINI second(console);
    std::string loaded = "unset";
    second.Register("s", "v", &loaded, "unset");
    ASSERT_EQ(second.LoadFile(path), IniLoadResult::kRead);
    EXPECT_EQ(loaded, c.value);
  }
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(qxINI, FailedSaveLeavesTheOldFileAndNoTemporaryFile) {
  TempFolder dir;
  const std::string path = PutFile(dir, "a.ini", "width=3\n");
  std::ostringstream console;
  qxINI store(console);
  std::string long_value(4096, 'x');
  store.Register("s", "v", &long_value, long_value);
  // A file size limit makes the write fail part way, as a full disk would.
  bool saved = true;
  {
    FileSizeLimit limit(1024);
    saved = store.Save(&store, path);
  }
  EXPECT_FALSE(saved);
  EXPECT_EQ(Lines(console.str()).back(), "[qxINI::Save] Cannot save file at path " + path);
  EXPECT_EQ(ReadBytes(path), "width=3\n");
  EXPECT_EQ(FolderEntries(std::filesystem::path(path).parent_path()),
            std::vector<std::string>{"a.ini"});

  // A folder nobody may create files in, even root.
  EXPECT_FALSE(store.Save(&store, "/proc/ini_store_test.ini"));
  EXPECT_FALSE(std::filesystem::exists("/proc/ini_store_test.ini"));
  // A device is refused, not replaced by a regular file.
  struct stat device {};
  EXPECT_FALSE(store.Save(&store, "/dev/full"));
  ASSERT_EQ(stat("/dev/full", &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode));
}

TEST(qxINI, SaveThroughASymbolicLinkReplacesItsTargetAndKeepsTheLink) {
  TempFolder dir;
  const std::string target = PutFile(dir, "real.ini", "width=3\n");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  const std::string link = dir / "link.ini";
  ASSERT_EQ(symlink("real.ini", link.c_str()), 0);  // relative to the link's folder
  std::ostringstream console;
  qxINI store(console);
  int width = 0;
  store.Register("window", "width", &width, 640);
  ASSERT_TRUE(store.Load(link));
  width = 5;
  ASSERT_TRUE(store.Save(&store, ""));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(target), "[window]\nwidth=5\n");
  struct stat saved {};
  ASSERT_EQ(stat(target.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_mode & 0777, 0640u);
  EXPECT_EQ(FolderEntries(std::filesystem::path(target).parent_path()),
            (std::vector<std::string>{"link.ini", "real.ini"}));
}

}  // namespace
}  // namespace tessaline
