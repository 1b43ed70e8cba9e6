// Parameter files between real databases: export, import, refused files
// and a fuzz run of damaged files that must change nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include <qel/outside/drivers/ImageMediaType.h>
#include <qel/platform/PrivateProfile.h>

#include "support/EngineDatabase.h"

namespace {

using qel::test::Sandbox;
using qel::test::ReadFile;
using qel::test::Take;
using qel::test::WriteFile;

// The section headers and "key=value" entries of a profile text, in order,
// without the blanks around "=".
std::vector<std::string> Entries(const std::string& text) {
    std::vector<std::string> entries;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::string entry;
        for (char c : line)
            if (c != ' ') entry += c;
        if (!entry.empty()) entries.push_back(entry);
    }
    return entries;
}

class ParameterFiles : public qel::test::OpenedDatabase {
protected:
    void SetUp() override {
        OpenedDatabase::SetUp();
        // The file engine made the folder for its database; the files go beside it on both engines.
        std::filesystem::create_directories(Sandbox::Current().Path("media"));
    }
    void AddMediaType(const char* name, LONG warning, LONG error) {
        IImageMediaType type;
        LONG code = 0;
        ASSERT_TRUE(type.CreatePriv(m_db.GetPtr(), &code));
        type.AddNew();
        type.SetStrName(name);
        type.SetLWarningThreshold(warning);
        type.SetLErrorThreshold(error);
        ASSERT_TRUE(type.Update()) << type.GetLErrorCode();
    }
    // The settings an import may change, and the media types, as one text.
    std::string State() {
        std::string state = fmt::format("{}{}{}{}|{}|{}", m_db.bCompressGrayscaleImages, m_db.bCompressColorImages,
                                        m_db.bAllowDuplicatePatientIDs, m_db.bDefaultImageMediaName,
                                        m_db.strImageMediaNameFormat, Number("SELECT COUNT(*) FROM IMT200"));
        m_db.GetLCurrentMedia();  // re-reads the stored record
        return state + fmt::format("|{}{}{}{}|{}", m_db.bCompressGrayscaleImages, m_db.bCompressColorImages,
                                   m_db.bAllowDuplicatePatientIDs, m_db.bDefaultImageMediaName,
                                   m_db.strImageMediaNameFormat);
    }
    std::string General(const std::string& lines) { return "[General]\n" + lines; }

    std::string m_file = Sandbox::Current().Path("media/params.ini");
};

TEST_P(ParameterFiles, RoundTripIntoANewDatabase) {
    AddMediaType("DVD", 700, 650);
    AddMediaType("Folder B", 0, 0);  // a network folder: not exported
    m_db.SetBCompressGrayscaleImages(TRUE);
    m_db.SetBAllowDuplicatePatientIDs(FALSE);
    m_db.SetBDefaultImageMediaName(TRUE);
    m_db.SetStrImageMediaNameFormat("MED_%i");
    ASSERT_TRUE(m_db.ExportParameters(m_file.c_str())) << m_db.GetLErrorCode();

    EXPECT_EQ(Entries(ReadFile(m_file)),
              (std::vector<std::string>{"[General]", "Version=2", "CompressGrayscaleImages=1",
                                        "CompressColorImages=0", "DuplicatePatientIDs=0", "DefaultImageMediaName=1",
                                        "MediaNameFormat=MED_%i", "MediaTypeCount=2", "[MediaType1]",
                                        "TypeName=CD-ROM", "WarningThreshold=600", "ErrorThreshold=640",
                                        "[MediaType2]", "TypeName=DVD", "WarningThreshold=700",
                                        "ErrorThreshold=650"}));

    CDatabaseObj second;
    ASSERT_TRUE(OpenDatabase(second, NewLocation("media/second.db"), "QelSecond"));
    ASSERT_TRUE(second.ImportParameters(m_file.c_str())) << second.GetLErrorCode();
    EXPECT_EQ(second.GetLErrorCode(), 0) << "CD-ROM exists already and is skipped";
    second.GetLCurrentMedia();  // what was stored, not only what is in memory
    EXPECT_TRUE(second.GetBCompressGrayscaleImages());
    EXPECT_FALSE(second.GetBCompressColorImages());
    EXPECT_FALSE(second.GetBAllowDuplicatePatientIDs());
    EXPECT_TRUE(second.GetBDefaultImageMediaName());
    EXPECT_EQ(Take(second.GetStrImageMediaNameFormat()), "MED_%i");
    std::vector<std::string> rows;
    {
        qel::odbc::Statement st(*second.GetDatabase());
        // PostgreSQL gives char(n) back blank-padded; the record library trims it.
        st.Prepare("SELECT RTRIM(IMTNAME), IMTWARNING, IMTERROR FROM IMT200 ORDER BY IMTKEY");
        st.Execute();
        while (st.Fetch())
            rows.push_back(fmt::format("{}/{}/{}", st.GetText(1).value_or(""), st.GetInt32(2).value_or(-1),
                                       st.GetInt32(3).value_or(-1)));
    }
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2], "DVD/700/650");

    // The second database's export carries the same content.
    const std::string again = Sandbox::Current().Path("media/again.ini");
    ASSERT_TRUE(second.ExportParameters(again.c_str()));
    EXPECT_EQ(ReadFile(again), ReadFile(m_file));
    second.Close();
}

TEST_P(ParameterFiles, ExportReplacesAnExistingFileAndSkipsNetworkFolders) {
    WriteFile(m_file, "[Old]\nKept=1\n[General]\nStale=7\n");
    ASSERT_TRUE(m_db.DeleteMediaTypeData(2));  // only the network folder type is left
    ASSERT_TRUE(m_db.ExportParameters(m_file.c_str()));
    const std::string text = ReadFile(m_file);
    EXPECT_EQ(text.find("Old"), std::string::npos);
    EXPECT_EQ(text.find("Stale"), std::string::npos);
    EXPECT_NE(text.find("MediaTypeCount = 0"), std::string::npos);
    EXPECT_EQ(text.find("[MediaType"), std::string::npos);
    for (const auto& entry : std::filesystem::directory_iterator(Sandbox::Current().Path("media")))
        EXPECT_EQ(entry.path().filename().string().find(".~"), std::string::npos) << "no temporary file is left";

    // A folder at the path cannot be replaced; the error comes before anything is written.
    const std::string folder = Sandbox::Current().Path("media/folder.ini");
    std::filesystem::create_directories(folder);
    EXPECT_FALSE(m_db.ExportParameters(folder.c_str()));
    EXPECT_EQ(m_db.GetLErrorCode(), 7140);
    EXPECT_FALSE(m_db.ExportParameters(Sandbox::Current().Path("media/none/x.ini").c_str()));
    EXPECT_EQ(m_db.GetLErrorCode(), 7130);
}

TEST_P(ParameterFiles, ImportAcceptsVersion1AndTruncatesLongTexts) {
    const std::string longFormat(150, 'f');
    WriteFile(m_file, General("version=1\ncompressimages=1\nDuplicatePatientIDs=1\nDefaultImageMediaName=0\n"
                              "MediaNameFormat=" + longFormat + "\nMediaTypeCount=1\n") +
                          "[mediatype1]\nTYPENAME=" + std::string(120, 'n') + "\nWarningThreshold=5\nErrorThreshold=1\n");
    // The 99 characters of the name do not fit the name column.
    EXPECT_FALSE(m_db.ImportParameters(m_file.c_str()));
    EXPECT_EQ(m_db.GetLErrorCode(), 20);

    WriteFile(m_file, General("version=1\ncompressimages=1\nDuplicatePatientIDs=1\nDefaultImageMediaName=0\n"
                              "MediaNameFormat=  " + longFormat + "\nMediaTypeCount=0\nCompressGrayscaleImages=0\n"));
    ASSERT_TRUE(m_db.ImportParameters(m_file.c_str())) << m_db.GetLErrorCode();
    EXPECT_TRUE(m_db.bCompressGrayscaleImages) << "version 1 sets both from CompressImages";
    EXPECT_TRUE(m_db.bCompressColorImages);
    EXPECT_EQ(m_db.strImageMediaNameFormat, longFormat.substr(0, 99));
}

TEST_P(ParameterFiles, InvalidFilesChangeNothing) {
    const std::string good = "CompressGrayscaleImages=1\nCompressColorImages=1\nDuplicatePatientIDs=0\n"
                             "DefaultImageMediaName=1\nMediaNameFormat=X\nMediaTypeCount=1\n";
    const std::string type = "[MediaType1]\nTypeName=Tape\nWarningThreshold=9\nErrorThreshold=8\n";
    const std::string before = State();
    // A bad value ahead of a good one of the same key: the first counts.
    for (const std::string& text : {General("Version=3\n" + good) + type, General(good) + type,
                                    General("Version=2\nDuplicatePatientIDs=2\n" + good) + type,
                                    General("Version=2\nMediaNameFormat=\n" + good) + type,
                                    General("Version=2\nMediaNameFormat=\"\"\n" + good) + type,
                                    General("Version=2\nMediaTypeCount=-1\n" + good),
                                    General("Version=1\n" + good) + type, std::string()}) {
        WriteFile(m_file, text);
        EXPECT_FALSE(m_db.ImportParameters(m_file.c_str())) << text;
        EXPECT_EQ(m_db.GetLErrorCode(), 7120) << text;
        EXPECT_EQ(State(), before) << text;
    }
    EXPECT_FALSE(m_db.ImportParameters(Sandbox::Current().Path("media/missing.ini").c_str()));
    EXPECT_EQ(m_db.GetLErrorCode(), 7120);

    // A bad media type section stops the import after the types before it.
    WriteFile(m_file, General("Version=2\nMediaTypeCount=2\n" + good) + type +
                          "[MediaType2]\nTypeName=Disk\nWarningThreshold=1\n");
    EXPECT_FALSE(m_db.ImportParameters(m_file.c_str()));
    EXPECT_EQ(m_db.GetLErrorCode(), 7120);
    EXPECT_EQ(Number("SELECT COUNT(*) FROM IMT200 WHERE IMTNAME='Tape'"), 1);
    EXPECT_EQ(m_db.strImageMediaNameFormat, "%Y%m%d_%i") << "settings come last";

    m_db.Close();
    EXPECT_FALSE(m_db.ImportParameters(m_file.c_str()));
    EXPECT_EQ(m_db.GetLErrorCode(), 50);
    EXPECT_FALSE(m_db.ExportParameters(m_file.c_str()));
    EXPECT_EQ(m_db.GetLErrorCode(), 50);
}

// Damaged files: random bytes, truncations and mutations of a good export,
// and an oversized file. Each is refused or imported whole; none crashes,
// and a refused one changes nothing.
TEST_P(ParameterFiles, FuzzedFilesNeverCrashOrHalfApply) {
    ASSERT_TRUE(m_db.ExportParameters(m_file.c_str()));
    const std::string good = ReadFile(m_file);
    std::mt19937 random(20261206);
    std::vector<std::string> inputs;
    for (int i = 0; i < 100; ++i) {
        std::string bytes(random() % 400, '\0');
        for (char& c : bytes) c = static_cast<char>(random());
        inputs.push_back(bytes);
        inputs.push_back(good.substr(0, random() % good.size()));
        std::string mutated = good;
        for (int k = 0; k < 3; ++k) mutated[random() % mutated.size()] = static_cast<char>(random());
        inputs.push_back(mutated);
    }
    inputs.push_back(good + std::string(qel::platform::kMaxProfileFileSize, ';'));

    int refused = 0;
    for (const std::string& input : inputs) {
        const std::string before = State();
        WriteFile(m_file, input);
        if (m_db.ImportParameters(m_file.c_str())) {
            EXPECT_EQ(m_db.GetLErrorCode(), 0);
            continue;
        }
        ++refused;
        if (m_db.GetLErrorCode() == 7120 && input.find("[MediaType1]") == std::string::npos) {
            EXPECT_EQ(State(), before);
        }
    }
    EXPECT_GT(refused, 250);
    RecordProperty("fuzz_inputs", static_cast<int>(inputs.size()));
    RecordProperty("fuzz_refused", refused);
}

INSTANTIATE_TEST_SUITE_P(Engines, ParameterFiles, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace
