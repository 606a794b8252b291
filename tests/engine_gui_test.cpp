// What GUI-mode setup needs comes along with a driver: the INF, catalog
// and dll an option names and what its INF copies go into the setup folder
// with text mode's [SourceDisksFiles] rows and winnt32's dosnet.inf lines,
// byte for byte; and what is missing, refused or Windows' own is said and
// left alone.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "check/pe_image.h"
#include "engine/apply.h"
#include "engine/survey.h"
#include "tests/support/driver_files.h"
#include "tests/support/setup_file_generator.h"
#include "tests/support/test_support.h"

namespace o2s_test {
namespace {

using o2s::engine::ApplyOutcome;
using o2s::engine::FileAction;
using o2s::engine::InfFit;
using o2s::engine::SupportKind;
using o2s::engine::Survey;

const char kId[] = "PCI\\VEN_1AF4&DEV_1001";

// virtio's txtsetup.oem with the INF, catalog and dll lines of a package
// that ships them (virtio names its INF and catalog; Marvell a dll too).
std::string GuiOem() {
  std::string oem = kVirtioOem;
  const std::string files = "[Files.scsi.WNET32]\r\ndriver = d1, viostor.sys, viostor\r\n";
  oem.insert(oem.find(files) + files.size(),
             "inf = d1, viostor.inf\r\ncatalog = d1, viostor.cat\r\ndll = d1, viodll.dll\r\n");
  return oem;
}

class EngineGui : public ::testing::Test {
 protected:
  void SetUp() override {
    setupFile_ = GenerateXpSetupFile(XpSetupFile{600});
    Put(root_, "I386/TXTSETUP.SIF", setupFile_);
    Put(root_, "I386/DOSNET.INF", MakeDosnet({"atapi.sys"}, {"atapi.sys"}));
    Put(root_, "drv/txtsetup.oem", GuiOem());
    Put(root_, "drv/i386/Win2003/viostor.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}));
    Put(root_, "drv/i386/Win2003/viostor.inf",
        MakeStorageInf("viostor", {kId}, "viostor.cat", {"viostor.sys", "viohlp.sys"}, {"vioco.dll"}));
    Put(root_, "drv/i386/Win2003/viostor.cat", "catalog bytes");
    Put(root_, "drv/i386/Win2003/viodll.dll", "dll bytes");
    Put(root_, "drv/i386/Win2003/viohlp.sys", MakeDriverImage(o2s::kMachineX86, {"ntoskrnl.exe"}, 700));
    Put(root_, "drv/i386/Win2003/vioco.dll", "co-installer bytes");
  }

  Survey SurveyOf() {
    o2s::engine::SurveyInput input;
    input.setupFolder = root_ / "I386";
    input.setupFolderName = "I386";
    input.driverFolders = {root_ / "drv"};
    return o2s::engine::SurveyIntegration(input);
  }

  ApplyOutcome Apply(const Survey& survey, bool withSupport = true) {
    o2s::engine::IntegrationPlan plan = o2s::engine::MakePlan(survey);
    for (auto& run : plan.runs) {
      if (!withSupport) {
        run.files.erase(std::remove_if(run.files.begin(), run.files.end(), [](const auto& f) { return f.support; }),
                        run.files.end());
      }
    }
    return o2s::engine::ApplyPlan(plan, false);
  }

  std::string Setup(const std::string& name) { return ReadFile(root_ / ("I386/" + name)); }

  ScratchDir root_;
  std::string setupFile_;
};

// `text` with `lines` put right after the line that starts with `after`.
std::string InsertAfterLine(const std::string& text, const std::string& after, const std::string& lines) {
  size_t at = text.find("\r\n" + after);
  if (at == std::string::npos) return "(no line " + after + ")";
  size_t end = text.find("\r\n", at + 2);
  return text.substr(0, end + 2) + lines + text.substr(end + 2);
}

TEST_F(EngineGui, TheInfItsCatalogDllAndWhatItCopiesLandWithTheirRowsAndDosnetLines) {
  Survey survey = SurveyOf();
  const auto& row = survey.drivers.at(0).rows.at(0);
  EXPECT_EQ(row.infFit, InfFit::kServes);
  EXPECT_EQ(row.inf, "viostor.inf");
  std::vector<std::string> support;
  for (const auto& f : row.support) support.push_back(f.name + (f.found.found ? "" : " (missing)"));
  // viostor.sys, which the INF copies too, is the tool's driver file.
  EXPECT_EQ(support, (std::vector<std::string>{"viostor.inf", "viostor.cat", "viodll.dll", "viohlp.sys", "vioco.dll"}));
  // The x64 option is not ticked: nothing of it comes.
  EXPECT_FALSE(survey.drivers[0].rows[1].ticked);

  // The same plan without them, for the bytes the tool's run leaves.
  ApplyOutcome first = Apply(survey, false);
  ASSERT_EQ(first.failure, o2s::engine::ApplyFailure::kNone);
  std::string toolSetup = Setup("TXTSETUP.SIF");
  std::string toolDosnet = Setup("DOSNET.INF");
  Put(root_, "I386/TXTSETUP.SIF", setupFile_);
  Put(root_, "I386/DOSNET.INF", MakeDosnet({"atapi.sys"}, {"atapi.sys"}));
  unlink((root_ / "I386/txtsetup.sif.orig").c_str());
  unlink((root_ / "I386/dosnet.inf.orig").c_str());
  unlink((root_ / "I386/viostor.sys").c_str());

  ApplyOutcome outcome = Apply(SurveyOf());
  ASSERT_EQ(outcome.failure, o2s::engine::ApplyFailure::kNone);
  std::vector<std::string> written;
  for (const auto& f : outcome.files) written.push_back(f.name + (f.action == FileAction::kCreate ? " +" : " ~"));
  EXPECT_EQ(written, (std::vector<std::string>{"viostor.sys +", "viostor.inf +", "viostor.cat +", "viodll.dll +",
                                               "viohlp.sys +", "vioco.dll +", "txtsetup.sif.orig +",
                                               "dosnet.inf.orig +", "DOSNET.INF ~", "TXTSETUP.SIF ~"}));
  EXPECT_EQ(Setup("TXTSETUP.SIF"),
            InsertAfterLine(toolSetup, "viostor.sys",
                            "viostor.inf = 1,,,,,,,20,0,0\r\nviostor.cat = 1,,,,,,,20,0,0\r\nviodll.dll = 1,,,,,,,2,0,0\r\n"));
  EXPECT_EQ(Setup("DOSNET.INF"), MakeDosnet({"atapi.sys", "viostor.sys"},
                                            {"atapi.sys", "viostor.sys", "viostor.inf", "viostor.cat", "viodll.dll",
                                             "viohlp.sys", "vioco.dll"}));
  EXPECT_EQ(toolDosnet, MakeDosnet({"atapi.sys", "viostor.sys"}, {"atapi.sys", "viostor.sys"}));
  EXPECT_EQ(Setup("viostor.inf"), ReadFile(root_ / "drv/i386/Win2003/viostor.inf"));
  EXPECT_EQ(Setup("vioco.dll"), "co-installer bytes");
  EXPECT_EQ(Setup("txtsetup.sif.orig"), setupFile_);

  // Run again: everything is as planned already, nothing is written.
  std::string before = Setup("TXTSETUP.SIF") + Setup("DOSNET.INF");
  ApplyOutcome again = Apply(SurveyOf());
  ASSERT_EQ(again.failure, o2s::engine::ApplyFailure::kNone);
  for (const auto& f : again.files) EXPECT_FALSE(f.written) << f.name;
  EXPECT_EQ(Setup("TXTSETUP.SIF") + Setup("DOSNET.INF"), before);
}

TEST_F(EngineGui, WhatTheSetupSourceSaysDecidesTheRows) {
  // Its own [WinntDirectories] tells the inf folder's id; a name Windows'
  // own txtsetup.sif lists is its file, never replaced.
  std::string setup = "[WinntDirectories]\r\n1 = \"\\\"\r\n2 = system32\r\n31 = \"INF\"\r\n\r\n" + setupFile_;
  setup.insert(setup.find("[SourceDisksFiles]\r\n") + 20, "viodll.dll = 1,,,,,,,2,0,0\r\n");
  Put(root_, "I386/TXTSETUP.SIF", setup);
  Survey survey = SurveyOf();
  std::vector<std::string> planned;
  for (const auto& p : survey.support) {
    planned.push_back(p.name + " " + (p.value.empty() ? "-" : p.value) + (p.brought ? "" : " (not brought)"));
  }
  EXPECT_EQ(planned, (std::vector<std::string>{"viostor.inf 1,,,,,,,31,0,0", "viostor.cat 1,,,,,,,31,0,0",
                                               "viodll.dll 1,,,,,,,2,0,0 (not brought)", "viohlp.sys -",
                                               "vioco.dll -"}));
  ASSERT_EQ(Apply(survey).failure, o2s::engine::ApplyFailure::kNone);
  std::string after = Setup("TXTSETUP.SIF");
  EXPECT_NE(after.find("\r\nviostor.inf = 1,,,,,,,31,0,0\r\n"), std::string::npos);
  EXPECT_EQ(after.find("viodll.dll = 1,,,,,,,2,0,0"), after.rfind("viodll.dll = 1,,,,,,,2,0,0"));
  EXPECT_FALSE(FileExists(root_ / "I386/viodll.dll"));
}

TEST_F(EngineGui, AFileOfTheSameNameWithOtherBytesIsLeftAloneWithoutItsRow) {
  Put(root_, "I386/viostor.inf", "someone else's INF");
  ApplyOutcome outcome = Apply(SurveyOf());
  ASSERT_EQ(outcome.failure, o2s::engine::ApplyFailure::kNone);
  auto inf = std::find_if(outcome.files.begin(), outcome.files.end(), [](const auto& f) { return f.name == "viostor.inf"; });
  ASSERT_NE(inf, outcome.files.end());
  EXPECT_EQ(inf->action, FileAction::kConflict);
  EXPECT_EQ(Setup("viostor.inf"), "someone else's INF");
  EXPECT_EQ(Setup("TXTSETUP.SIF").find("viostor.inf ="), std::string::npos);
  EXPECT_EQ(Setup("DOSNET.INF").find("d1,viostor.inf"), std::string::npos);
  EXPECT_NE(Setup("TXTSETUP.SIF").find("viostor.cat = 1,,,,,,,20,0,0"), std::string::npos);
}

// The page's way: the setup folder only read (here, one nobody may write
// into), what the plan writes landing in another folder, byte for byte
// what an apply in place writes.
TEST_F(EngineGui, IntoAnotherFolderTheSetupFolderIsOnlyReadAndTheSameBytesLand) {
  Survey survey = SurveyOf();
  o2s::engine::IntegrationPlan plan = o2s::engine::MakePlan(survey);
  std::vector<std::string> before = ListDir(root_ / "I386");
  ASSERT_EQ(mkdir((root_ / "out").c_str(), 0755), 0);
  ASSERT_EQ(chmod((root_ / "I386").c_str(), 0555), 0);
  ApplyOutcome into = o2s::engine::ApplyPlanInto(plan, root_ / "out");
  chmod((root_ / "I386").c_str(), 0755);
  ASSERT_EQ(into.failure, o2s::engine::ApplyFailure::kNone);
  EXPECT_EQ(ListDir(root_ / "I386"), before);
  EXPECT_EQ(Setup("TXTSETUP.SIF"), setupFile_);

  ApplyOutcome inPlace = Apply(survey);
  ASSERT_EQ(inPlace.failure, o2s::engine::ApplyFailure::kNone);
  std::vector<std::string> written;
  for (const auto& f : inPlace.files) {
    if (f.written) written.push_back(f.name);
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(ListDir(root_ / "out"), written);
  for (const std::string& name : written) EXPECT_EQ(ReadFile(root_ / ("out/" + name)), Setup(name)) << name;
}

// How the INF serves the option, for INFs as packages have them and as
// hostile ones are: nothing read outside the driver folder, nothing that
// is no regular file, nothing that is no plain name.
TEST_F(EngineGui, TheInfsFitAndHostileNamesAreSaidAndNeverTaken) {
  struct Case {
    const char* what;
    std::string inf;  // "" none; "FIFO" a named pipe
    InfFit fit;
    std::vector<std::string> support;  // name, "!" unsafe, "?" not found
  } cases[] = {
      {"UTF-16", "", InfFit::kServes, {"viostor.inf", "viostor.cat", "viodll.dll", "viohlp.sys", "vioco.dll"}},
      {"other ids", MakeStorageInf("viostor", {"PCI\\VEN_8086&DEV_2922"}, "viostor.cat", {"viostor.sys"}, {}),
       InfFit::kNoIds, {"viostor.inf", "viostor.cat", "viodll.dll"}},
      {"names outside", MakeStorageInf("viostor", {kId}, "", {"..\\..\\evil.sys", "C:\\x.sys", "a b.sys"}, {"gone.dll"}),
       InfFit::kServes, {"viostor.inf", "viostor.cat", "viodll.dll", "..\\..\\evil.sys!", "C:\\x.sys!", "a b.sys!", "gone.dll?"}},
      {"too big", std::string(2u << 20, ';'), InfFit::kNotRead, {"viostor.inf", "viostor.cat", "viodll.dll"}},
      {"FIFO", "FIFO", InfFit::kNotFound, {"viostor.inf?", "viostor.cat", "viodll.dll"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = root_ / "drv/i386/Win2003/viostor.inf";
    unlink(path.c_str());
    if (c.inf == "FIFO") {
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    } else if (c.inf.empty()) {
      std::string inf = MakeStorageInf("viostor", {kId}, "viostor.cat", {"viostor.sys", "viohlp.sys"}, {"vioco.dll"});
      std::string wide = "\xFF\xFE";
      for (char ch : inf) wide += std::string(1, ch) + '\0';
      Put(root_, "drv/i386/Win2003/viostor.inf", wide);
    } else {
      Put(root_, "drv/i386/Win2003/viostor.inf", c.inf);
    }
    Survey survey = SurveyOf();
    const auto& row = survey.drivers.at(0).rows.at(0);
    EXPECT_EQ(row.infFit, c.fit);
    std::vector<std::string> support;
    for (const auto& f : row.support) support.push_back(f.name + (f.unsafe ? "!" : !f.found.found ? "?" : ""));
    EXPECT_EQ(support, c.support);
    for (const auto& p : survey.support) {
      EXPECT_TRUE(p.name.find_first_of("\\/ ") == std::string::npos) << p.name;
    }
  }
}

}  // namespace
}  // namespace o2s_test
