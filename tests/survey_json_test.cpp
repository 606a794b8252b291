// The survey as JSON (oem2sif-integrate --json): valid UTF-8 JSON whatever
// bytes a txtsetup.oem or a folder's name holds, Japanese descriptions as
// the right UTF-8, and the command's output, exit codes and silence.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "check/pe_image.h"
#include "engine/survey_json.h"
#include "platform/platform.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

using o2s::engine::JsonString;
using o2s::engine::TextFrom;

std::string FromCp932(const std::string& bytes) {
  std::string out(3 * bytes.size(), '\0');
  out.resize(o2s::Cp932ToUtf8(bytes.data(), bytes.size(), &out[0], out.size()));
  return out;
}

std::string Checked(const std::string& bytes) {
  std::string out(3 * bytes.size(), '\0');
  out.resize(o2s::CheckedUtf8(bytes.data(), bytes.size(), &out[0], out.size()));
  return out;
}

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

TEST(Utf8Text, Cp932JapaneseComesOutAsItsUtf8AndATrailByte0x5CStaysInItsCharacter) {
  // 表示 (0x95 0x5C), ソフト (0x83 0x5C): no backslash comes of them.
  EXPECT_EQ(FromCp932("\x95\x5C\x8E\xA6"), "表示");
  EXPECT_EQ(FromCp932("\x83\x5C\x83t\x83g"), "ソフト");
  EXPECT_EQ(FromCp932(Utf8ToCp932("ドライバー「表」 能力 ①ⅰ＼～")), "ドライバー「表」 能力 ①ⅰ＼～");
  EXPECT_EQ(FromCp932("\xB6\xC4\xDE\xDF"), "ｶﾄﾞﾟ") << "half-width katakana";
  EXPECT_EQ(FromCp932("C:\\a~b\x7F"), "C:\\a~b\x7F") << "ASCII as it is; 0x5C the backslash";
}

TEST(Utf8Text, BytesThatAreNoCharacterBecomeReplacementsAndNoCharacterIsCut) {
  EXPECT_EQ(FromCp932("\x80|\xA0|\xFD\xFE\xFF"), kBad + "|" + kBad + "|" + kBad + kBad + kBad);
  EXPECT_EQ(FromCp932("a\x82"), "a" + kBad) << "a lead byte at the end";
  EXPECT_EQ(FromCp932("\x82\"x\x82\x7F"), kBad + "\"x" + kBad + "\x7F") << "a lead byte before no trail byte";
  // A pair the table lacks: an ASCII trail byte is read again.
  EXPECT_EQ(FromCp932("\x85\x5C\x85\x80z"), kBad + "\\" + kBad + "z");
  // Never past the room given, never part of a character.
  std::string room(8, '#');
  EXPECT_EQ(o2s::Cp932ToUtf8("\x95\x5C\x8E\xA6", 4, &room[0], 5), 3u);
  EXPECT_EQ(room, "表#####");
  EXPECT_EQ(o2s::Cp932ToUtf8("\x95\x5C", 2, &room[0], 2), 0u);
  EXPECT_EQ(o2s::CheckedUtf8("ab\xFF", 3, &room[0], 4), 2u);
}

TEST(Utf8Text, CheckedUtf8KeepsValidTextAndReplacesEachByteOfAnInvalidSequence) {
  EXPECT_EQ(Checked("日本 \xF0\x9F\x98\x80 é"), "日本 \xF0\x9F\x98\x80 é");
  EXPECT_EQ(Checked("a\xC0\xAF" "b"), "a" + kBad + kBad + "b") << "overlong";
  EXPECT_EQ(Checked("\xED\xA0\x80"), kBad + kBad + kBad) << "a surrogate";
  EXPECT_EQ(Checked("\xF4\x90\x80\x80"), kBad + kBad + kBad + kBad) << "past U+10FFFF";
  EXPECT_EQ(Checked("\xE6\x97"), kBad + kBad) << "cut";
  EXPECT_EQ(Checked("\x95\x5C"), kBad + "\\") << "code page 932 is no UTF-8";
}

TEST(SurveyJson, AJsonStringEscapesQuotesBackslashesAndEveryControlByte) {
  std::string controls;
  for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
  EXPECT_EQ(JsonString(controls + "\x7F", TextFrom::kCp932),
            "\"\\u0000\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b\\f\\r\\u000e\\u000f"
            "\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019\\u001a\\u001b\\u001c\\u001d\\u001e\\u001f"
            "\\u007f\"");
  EXPECT_EQ(JsonString("say \"\\\" \x95\x5C", TextFrom::kCp932), "\"say \\\"\\\\\\\" 表\"");
  EXPECT_EQ(JsonString("drv\xFF\"/\xE8\xA1\xA8", TextFrom::kFileName), "\"drv" + kBad + "\\\"/表\"");
}

class SurveyJsonCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    XpSetupFile xp;
    xp.lines = 400;
    Put(root_, "xp/TXTSETUP.SIF", GenerateXpSetupFile(xp));
    Put(root_, "drv/txtsetup.oem", kVirtioOem);
    Put(root_, "drv/i386/win2003/viostor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}, 2000));
    Put(root_, "drv/amd64/Win2003/VIOSTOR.SY_",
        MakeCabinet("viostor.sys", MakeDriverImage(o2s::kMachineX64, {"ntoskrnl.exe"})));
  }

  ProcessResult Run(const std::vector<std::string>& args) {
    return RunProcess(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", args);
  }

  std::map<std::string, std::string> Files() {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_.path())) {
      if (entry.is_regular_file()) files[entry.path().string()] = ReadFile(entry.path().string());
    }
    return files;
  }

  // What Python's strict JSON reader makes of `json`: `expression` over
  // the value d, as JSON in UTF-8; "invalid" where it refuses the bytes.
  std::string Parsed(const std::string& json, const std::string& expression) {
    ProcessResult python = RunProcess("python3", root_.path(), json, {"-c",
        "import json, sys\n"
        "d = json.loads(sys.stdin.buffer.read().decode('utf-8'))\n"
        "sys.stdout.buffer.write(json.dumps(" + expression + ", ensure_ascii=False).encode('utf-8'))\n"});
    if (python.status == 127) return "no python3";
    return python.status == 0 ? python.out : "invalid";
  }

  ScratchDir root_;
};

TEST_F(SurveyJsonCommand, PrintsTheSurveyAndThePlanByteForByteAndWritesNothing) {
  auto before = Files();
  std::string x86Size = std::to_string(ReadFile(root_ / "drv/i386/win2003/viostor.sys").size());
  ProcessResult result = Run({"xp", "drv", "--json"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out,
            "{\"setup\":{\"folder\":\"xp\",\"file\":\"TXTSETUP.SIF\",\"problem\":null,"
            "\"identity\":{\"machine\":332,\"evidence\":1,\"major\":5,\"minor\":1},\"version\":51,\"answer\":\"2\",\"answerGiven\":false},"
            "\"drivers\":[{\"folder\":\"drv\",\"oemFile\":\"txtsetup.oem\",\"problem\":null,\"rows\":["
            "{\"option\":{\"index\":0,\"key\":\"WNET32\",\"description\":\"Red Hat VirtIO SCSI Disk Device Win2003/32-bit\","
            "\"driverFile\":\"viostor.sys\",\"driverFileRefused\":null,\"service\":\"viostor\","
            "\"ids\":[{\"id\":\"PCI\\\\VEN_1AF4&DEV_1001\",\"match\":\"pci\\\\ven_1af4&dev_1001\",\"service\":\"viostor\"}],"
            "\"files\":[{\"kind\":\"driver\",\"disk\":\"d1\",\"name\":\"viostor.sys\",\"directory\":\"i386/Win2003\",\"refused\":null}]},"
            "\"found\":{\"source\":{\"folder\":\"i386/win2003\",\"name\":\"viostor.sys\",\"path\":\"i386/win2003/viostor.sys\",\"size\":" + x86Size + "},"
            "\"directory\":\"i386/Win2003\",\"beside\":false,\"directoryRefused\":false},"
            "\"built\":{\"machine\":332,\"how\":\"read\",\"problem\":null,\"fits\":true},\"fits\":true,\"versions\":[52],\"versionFit\":\"nearest\","
            "\"skipped\":null,\"refused\":null,\"tickable\":true,\"ticked\":true,\"reason\":\"nearest\","
            "\"infFit\":\"noInf\",\"inf\":null,\"support\":[]},"
            "{\"option\":{\"index\":1,\"key\":\"WNET64\",\"description\":\"Red Hat VirtIO SCSI Disk Device Win2003/64-bit\","
            "\"driverFile\":\"viostor.sys\",\"driverFileRefused\":null,\"service\":\"viostor\","
            "\"ids\":[{\"id\":\"PCI\\\\VEN_1AF4&DEV_1001\",\"match\":\"pci\\\\ven_1af4&dev_1001\",\"service\":\"viostor\"}],"
            "\"files\":[{\"kind\":\"driver\",\"disk\":\"d2\",\"name\":\"viostor.sys\",\"directory\":\"amd64/Win2003\",\"refused\":null}]},"
            "\"found\":{\"source\":{\"folder\":\"amd64/Win2003\",\"name\":\"VIOSTOR.SY_\",\"path\":\"amd64/Win2003/VIOSTOR.SY_\",\"size\":"
            + std::to_string(ReadFile(root_ / "drv/amd64/Win2003/VIOSTOR.SY_").size()) + "},"
            "\"directory\":\"amd64/Win2003\",\"beside\":false,\"directoryRefused\":false},"
            "\"built\":{\"machine\":34404,\"how\":\"read\",\"problem\":null,\"fits\":false},\"fits\":false,\"versions\":[52],\"versionFit\":\"nearest\","
            "\"skipped\":null,\"refused\":null,\"tickable\":true,\"ticked\":false,\"reason\":\"otherMachine\","
            "\"infFit\":\"noInf\",\"inf\":null,\"support\":[]}]}],"
            "\"conflicts\":{\"options\":[],\"drivers\":[],\"setup\":[]},"
            "\"driverFiles\":[{\"service\":\"viostor\",\"file\":\"viostor.sys\",\"driver\":0,\"option\":0,\"state\":\"absent\","
            "\"setupName\":null,"
            "\"source\":{\"folder\":\"i386/win2003\",\"name\":\"viostor.sys\",\"path\":\"i386/win2003/viostor.sys\",\"size\":" + x86Size + "},"
            "\"directory\":\"i386/Win2003\",\"beside\":false,"
            "\"brought\":true,\"missing\":false,\"unsure\":false}],"
            "\"supportFiles\":[],"
            "\"runs\":[{\"driver\":0,\"folder\":\"drv\",\"oemFile\":\"txtsetup.oem\",\"keptOptions\":[0],"
            "\"files\":[{\"name\":\"viostor.sys\",\"source\":\"i386/win2003/viostor.sys\",\"support\":false}]}]}\n");
  EXPECT_EQ(Files(), before);
}

TEST_F(SurveyJsonCommand, UserTicksAndConflictsAndEveryOptionKeptNameTheirKinds) {
  // One folder given twice: ticked by the user as 1, by default as 2.
  ProcessResult result = Run({"xp", "drv", "drv", "--json", "--option", "1:WNET64", "--option", "1:WNET32"});
  ASSERT_EQ(result.status, 0) << result.out;
  std::string parsed = Parsed(result.out,
      "[[[r['option']['key'], r['ticked'], r['reason']] for r in d['drivers'][0]['rows']], "
      "[[c['driver'], c['what'], c['earlier'], c['later']] for c in d['conflicts']['options']], "
      "[[c['earlier'], c['later'], c['services']] for c in d['conflicts']['drivers']], "
      "[[r['driver'], r['keptOptions'], r['files']] for r in d['runs']]]");
  if (parsed == "no python3") GTEST_SKIP() << "python3 is not installed: the JSON cannot be read back";
  EXPECT_EQ(parsed,
            "[[[\"WNET32\", true, \"userTicked\"], [\"WNET64\", true, \"userTicked\"]], "
            "[[0, \"viostor\", 0, 1]], [], "
            "[[0, null, []], [1, [0], [{\"name\": \"viostor.sys\", \"source\": \"i386/win2003/viostor.sys\", \"support\": false}]]]]");
}

// A txtsetup.oem with descriptions holding backslashes (a 0x5C trail byte
// among them), control bytes, bytes that are no code page 932, and
// Japanese, and an option the tool's reader complains of, in a folder
// whose name holds a quote and a byte that is no UTF-8.
const char kHostileFolder[] = "dr\"v\xFF";
std::string HostileOem() {
  std::vector<std::pair<std::string, std::string>> options = {
      {"back", "\"C:\\path\\ \\\\ \x95\x5C\\\""},
      {"ctl", "\"tab\there\x01\x1f\x7f end\""},
      {"bad", "\"\x80\xFF\x82\""},
      {"ja", "\"" + Utf8ToCp932("表示ソフト ドライバー ｶﾅ") + "\""},
      {"noid", "\"Ids keyed by the option's name\""}};
  std::string oem = "[Disks]\r\nd1 = \"Disk\",\\disk1,\\\r\n\r\n[Defaults]\r\nscsi = back\r\n\r\n[scsi]\r\n";
  for (const auto& [key, description] : options) oem += key + " = " + description + "\r\n";
  for (const auto& [key, description] : options) {
    oem += "\r\n[Files.scsi." + key + "]\r\ndriver = d1, " + key + ".sys, " + key + "\r\n";
    // LSI's way: the tool says the option has no valid id, on the console.
    std::string idKey = key == "noid" ? key : "id";
    oem += "\r\n[HardwareIds.scsi." + key + "]\r\n" + idKey + " = \"PCI\\VEN_1234&DEV_" + key + "\", \"" + key + "\"\r\n";
  }
  return oem;
}

TEST_F(SurveyJsonCommand, HostileTextsAndNamesComeOutEscapedAndValidAndJapaneseAsItsUtf8) {
  Put(root_, std::string(kHostileFolder) + "/txtsetup.oem", HostileOem());
  ProcessResult result = Run({"xp", kHostileFolder, "--json"});
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("\"description\":\"表示ソフト ドライバー ｶﾅ\""), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("\"description\":\"C:\\\\path\\\\ \\\\\\\\ 表\\\\\""), std::string::npos) << result.out;
  for (size_t i = 0; i + 1 < result.out.size(); ++i) {
    ASSERT_GE(static_cast<unsigned char>(result.out[i]), 0x20u) << "a raw control byte at " << i;
  }
  std::string parsed = Parsed(result.out, "[d['drivers'][0]['folder']] + [r['option']['description'] for r in d['drivers'][0]['rows']]");
  if (parsed == "no python3") GTEST_SKIP() << "python3 is not installed: the JSON cannot be read back";
  EXPECT_EQ(parsed, "[\"dr\\\"v" + kBad + "\", \"C:\\\\path\\\\ \\\\\\\\ 表\\\\\", \"tab\\there\\u0001\\u001f\x7f end\", \"" +
                        kBad + kBad + kBad + "\", \"表示ソフト ドライバー ｶﾅ\", \"Ids keyed by the option's name\"]");
  EXPECT_NE(result.out.find("\"skipped\":\"noIds\""), std::string::npos);
}

// A terminal shows each line feed as CR LF.
std::string OnTerminal(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

TEST_F(SurveyJsonCommand, Utf8WhateverTheTerminalsCharset) {
  Put(root_, std::string(kHostileFolder) + "/txtsetup.oem", HostileOem());
  std::vector<std::string> args = {"xp", kHostileFolder, "--json"};
  std::string json = Run(args).out;
  ASSERT_NE(json.find("表示"), std::string::npos);
  for (const char* lang : {"ja_JP.eucJP", "ja_JP.SJIS", "C", "ja_JP.UTF-8"}) {
    ProcessResult shown = RunOnTerminal(OEM2SIF_INTEGRATE_TOOL_PATH, root_.path(), "", lang, args);
    EXPECT_EQ(shown.status, 0) << lang;
    EXPECT_EQ(shown.out, OnTerminal(json)) << lang;
  }
}

TEST_F(SurveyJsonCommand, ExitCodesAsForADryRunAndNothingButJson) {
  // Nothing ticked: an option for Windows NT 4.0 alone, and a driver
  // without options.
  Put(root_, "nt4/txtsetup.oem", "[Disks]\r\nd1 = \"Disk\",\\disk1,\\nt4\r\n\r\n[scsi]\r\nold = \"For Windows NT 4.0\"\r\n"
      "\r\n[Files.scsi.old]\r\ndriver = d1, old.sys, old\r\n\r\n[HardwareIds.scsi.old]\r\nid = \"PCI\\VEN_1234\", \"old\"\r\n");
  Put(root_, "none/txtsetup.oem", "[scsi]\r\n");
  ProcessResult nothing = Run({"xp", "nt4", "none", "--json"});
  EXPECT_EQ(nothing.status, 0);
  ASSERT_FALSE(nothing.out.empty());
  EXPECT_EQ(nothing.out.front(), '{');
  EXPECT_NE(nothing.out.find("\"versionFit\":\"nt4\",\"skipped\":null,\"refused\":null,\"tickable\":false,\"ticked\":false,\"reason\":\"nt4\""),
            std::string::npos) << nothing.out;
  EXPECT_NE(nothing.out.find("\"problem\":\"noOptions\",\"rows\":[]"), std::string::npos) << nothing.out;
  EXPECT_EQ(nothing.out.substr(nothing.out.size() - 11), "\"runs\":[]}\n");

  // The version unknown: a usage error unless --windows answers.
  XpSetupFile unknown;
  unknown.lines = 400;
  unknown.majorVersion = 0;
  Put(root_, "unknown/TXTSETUP.SIF", GenerateXpSetupFile(unknown));
  EXPECT_EQ(Run({"unknown", "drv", "--json"}).status, 2);
  ProcessResult given = Run({"unknown", "drv", "--json", "--windows", "2000"});
  EXPECT_EQ(given.status, 0);
  EXPECT_NE(given.out.find("\"version\":0,\"answer\":\"1\",\"answerGiven\":true}"), std::string::npos) << given.out;

  auto before = Files();
  EXPECT_EQ(Run({"nowhere", "drv", "--json"}).status, 2);
  EXPECT_EQ(Run({"xp", "nowhere", "--json"}).status, 2);
  EXPECT_EQ(Run({"xp", "drv", "--json", "--option", "drv:NONE"}).status, 2);
  EXPECT_EQ(Files(), before);
}

}  // namespace
}  // namespace o2s_test
