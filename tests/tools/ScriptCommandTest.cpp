// `qeldb script`: an automation client that knows only the ProgID and the
// member names drives the component through a whole session, and its JSON
// lines carry the results, out-parameters, codes and notifications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Program.h"
#include "support/Sandbox.h"

using qel::test::RunQeldb;
using qel::test::Sandbox;

namespace {

using qel::test::Lines;
using qel::test::ReadFile;
using qel::test::WriteSandboxFile;


TEST(ScriptCommand, ASessionByMemberNames) {
    const std::string db = Sandbox::Current().Path("script/clinic.db");
    const std::string params = Sandbox::Current().Path("script/params.ini");
    const std::string script = WriteSandboxFile("session.txt", "# a temporary profile on a new file\n"
                                                          "AddNew 1 0\n"
                                                          "strDataSource = \"QelScript\"\n"
                                                          "strDirectory = \"" + db + "\"\n"
                                                          "Open2 False\n"
                                                          "GetImageMediaTypeCount\n"
                                                          "GetImageMediaType 1\n"
                                                          "SearchPatient \"RO\" 1 \"\" 0 0 0\n"
                                                          "GetFoundPatient 0\n"
                                                          "# without its index: not bound to the out-parameter\n"
                                                          "GetFoundPatient\n"
                                                          "bCompressColorImages = \"true\"\n"
                                                          "BCOMPRESSCOLORIMAGES\n"
                                                          "strImageMediaNameFormat = \" MED_%i \"\n"
                                                          "ExportParameters \"" + params + "\"\n"
                                                          "lKey\n"
                                                          "NoSuchMember 1\n"
                                                          "GetDoctor \"x\"\n"
                                                          "Close\n");
    ASSERT_EQ(RunQeldb({"script", script}).exitCode, 1) << "not registered yet";
    ASSERT_EQ(RunQeldb({"register"}).exitCode, 0);

    const auto run = RunQeldb({"script", "--json", script});
    EXPECT_EQ(run.exitCode, 1) << "three lines failed; " << run.err;
    const std::vector<std::string> expected = {
        R"({"call":"AddNew","result":true,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"strDataSource","result":null,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"strDirectory","result":null,"out":[],"lErrorCode":0,"strError":""})",
        R"({"notification":100,"p1":0,"p2":1000,"p3":0})",
        R"({"call":"Open2","result":true,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"GetImageMediaTypeCount","result":true,"out":[2],"lErrorCode":0,"strError":""})",
        R"({"call":"GetImageMediaType","result":true,"out":[2],"lErrorCode":0,"strError":""})",
        R"({"call":"SearchPatient","result":true,"out":[0],"lErrorCode":0,"strError":""})",
        R"({"call":"GetFoundPatient","result":false,"out":[0],"lErrorCode":10,"strError":""})",
        R"({"call":"GetFoundPatient","error":"wrong number of arguments"})",
        R"({"call":"bCompressColorImages","result":null,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"BCOMPRESSCOLORIMAGES","result":true,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"strImageMediaNameFormat","result":null,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"ExportParameters","result":true,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"lKey","result":1000,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"NoSuchMember","error":"unknown member name"})",
        R"({"call":"GetDoctor","error":"an argument has a type that cannot be converted"})",
        R"({"notification":101,"p1":0,"p2":1000,"p3":0})",
        R"({"call":"Close","result":true,"out":[],"lErrorCode":0,"strError":""})",
    };
    EXPECT_EQ(Lines(run.out), expected);

    const std::string text = ReadFile(params);
    EXPECT_NE(text.find("MediaNameFormat = MED_%i"), std::string::npos) << text;
    EXPECT_NE(text.find("CompressColorImages = 1"), std::string::npos);
}

// A parameter file read the way the private profile functions read it: one
// pair of enclosing quotes comes off a value, and of two equal keys the first
// counts.
TEST(ScriptCommand, ImportReadsQuotedValuesAndTheFirstOfEqualKeys) {
    const std::string db = Sandbox::Current().Path("script/quoted.db");
    const std::string params = WriteSandboxFile("quoted.ini", "[General]\n"
                                                              "Version=2\n"
                                                              "CompressGrayscaleImages=1\n"
                                                              "CompressColorImages=0\n"
                                                              "DuplicatePatientIDs=1\n"
                                                              "DuplicatePatientIDs=0\n"
                                                              "DefaultImageMediaName=\"0\"\n"
                                                              "MediaNameFormat=\"Q %i\"\n"
                                                              "MediaNameFormat=LAST_%i\n"
                                                              "MediaTypeCount=1\n"
                                                              "[MediaType1]\n"
                                                              "TypeName='DVD R'\n"
                                                              "WarningThreshold=700\n"
                                                              "ErrorThreshold=650\n");
    const std::string script = WriteSandboxFile("import.txt", "AddNew 1 0\n"
                                                              "strDataSource = \"QelQuoted\"\n"
                                                              "strDirectory = \"" + db + "\"\n"
                                                              "Open2 False\n"
                                                              "ImportParameters \"" + params + "\"\n"
                                                              "strImageMediaNameFormat\n"
                                                              "bAllowDuplicatePatientIDs\n"
                                                              "bDefaultImageMediaName\n"
                                                              "GetImageMediaTypeCount\n"
                                                              "Close\n");
    ASSERT_EQ(RunQeldb({"register"}).exitCode, 0);
    const auto run = RunQeldb({"script", "--json", script});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    auto line = [&](const std::string& call) {
        for (const std::string& l : lines)
            if (l.find("\"call\":\"" + call + "\"") != std::string::npos) return l;
        return std::string("no line for ") + call;
    };
    EXPECT_EQ(line("ImportParameters"),
              R"({"call":"ImportParameters","result":true,"out":[],"lErrorCode":0,"strError":""})");
    EXPECT_EQ(line("strImageMediaNameFormat"),
              R"({"call":"strImageMediaNameFormat","result":"Q %i","out":[],"lErrorCode":0,"strError":""})");
    EXPECT_EQ(line("bAllowDuplicatePatientIDs"),
              R"({"call":"bAllowDuplicatePatientIDs","result":true,"out":[],"lErrorCode":0,"strError":""})");
    EXPECT_EQ(line("bDefaultImageMediaName"),
              R"({"call":"bDefaultImageMediaName","result":false,"out":[],"lErrorCode":0,"strError":""})");
    EXPECT_EQ(line("GetImageMediaTypeCount"),
              R"({"call":"GetImageMediaTypeCount","result":true,"out":[3],"lErrorCode":0,"strError":""})");
}

// Prefix and contains searches look at the upper-cased field itself: a
// full-width name or number is found by an exact search (width is folded)
// but not by ASCII letters or digits inside it.
TEST(ScriptCommand, FullWidthFieldsInPrefixAndContainsSearches) {
    const std::string db = Sandbox::Current().Path("script/wide.db");
    const std::string csv = WriteSandboxFile("wide.csv", "name,number\n"
                                                         "ROSSI,1234\n"
                                                         "\uFF32\uFF2F\uFF33\uFF33\uFF29,\uFF11\uFF12\uFF13\uFF14\n"
                                                         "\uFF32\uFF2F\uFF33\uFF33\uFF29\u592A\u90CE,P-3\n");
    ASSERT_EQ(RunQeldb({"patients", "import", csv, "--data-source", "QelWide", "--path", db}).exitCode, 0);
    const std::string script = WriteSandboxFile("wide.txt", "AddNew 1 0\n"
                                                            "strDataSource = \"QelWide\"\n"
                                                            "strDirectory = \"" + db + "\"\n"
                                                            "Open2 False\n"
                                                            "SearchPatient \"OSS\" 2 \"\" 0 0 0\n"
                                                            "SearchPatient \"RO\" 1 \"\" 0 0 0\n"
                                                            "SearchPatient \"rossi\" 0 \"\" 0 0 0\n"
                                                            "SearchPatient \"\" 0 \"23\" 2 0 0\n"
                                                            "SearchPatient \"\" 0 \"12\" 1 0 0\n"
                                                            "SearchPatient \"\" 0 \"1234\" 0 0 0\n"
                                                            "Close\n");
    ASSERT_EQ(RunQeldb({"register"}).exitCode, 0);
    const auto run = RunQeldb({"script", "--json", script});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> searches;
    for (const std::string& line : Lines(run.out))
        if (line.find("\"call\":\"SearchPatient\"") != std::string::npos) searches.push_back(line);
    auto found = [](int count) {
        return R"({"call":"SearchPatient","result":true,"out":[)" + std::to_string(count) +
               R"(],"lErrorCode":0,"strError":""})";
    };
    const std::vector<std::string> expected = {found(1), found(1), found(2), found(1), found(1), found(2)};
    EXPECT_EQ(searches, expected) << run.out;
}

TEST(ScriptCommand, StandardInputAndLinesThatCannotBeParsed) {
    ASSERT_EQ(RunQeldb({"register"}).exitCode, 0);
    const std::string input = WriteSandboxFile("stdin.txt", "lErrorCode\n"
                                                       "\"quoted\n"
                                                       "Get \"unterminated\n"
                                                       "ArrangePatients 99999999999 1\n"
                                                       "bIsOpen\n");
    const auto run = RunQeldb({"script", "--json", "-"}, {}, input);
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> expected = {
        R"({"call":"lErrorCode","result":0,"out":[],"lErrorCode":0,"strError":""})",
        R"({"call":"\"quoted","error":"a line starts with a member name"})",
        R"({"call":"Get \"unterminated","error":"a text argument lacks its closing quote"})",
        R"({"call":"ArrangePatients 99999999999 1","error":"the number 99999999999 is out of range"})",
        R"({"call":"bIsOpen","result":false,"out":[],"lErrorCode":0,"strError":""})",
    };
    EXPECT_EQ(Lines(run.out), expected);

    const auto people = RunQeldb({"script"}, {}, WriteSandboxFile("plain.txt", "GetDoctorCount\n"));
    EXPECT_EQ(people.exitCode, 0);
    EXPECT_EQ(people.out, "GetDoctorCount -> False  out: 0  lErrorCode: 10\n");
}

}  // namespace
