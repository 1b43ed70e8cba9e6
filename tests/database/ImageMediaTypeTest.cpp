// Adding media types through the IImageMediaType driver and the media type
// automation object behind it.
#include <gtest/gtest.h>

#include <qel/outside/drivers/ImageMediaType.h>
#include <qel/outside/records/CachedData.h>

#include "support/EngineDatabase.h"

namespace {

class ImageMediaType : public qel::test::OpenedDatabase {
protected:
    // The five calls of an import; the last call's code.
    LONG Add(IImageMediaType& type, const char* name, LONG warning, LONG error) {
        for (BOOL ok : {type.AddNew(), type.SetStrName(name), type.SetLWarningThreshold(warning),
                        type.SetLErrorThreshold(error)}) {
            if (!ok || !type.IsErrorStateReadable() || type.GetLErrorCode() != 0) return -1;
        }
        type.Update();
        return type.IsErrorStateReadable() ? type.GetLErrorCode() : -1;
    }
};

TEST_P(ImageMediaType, UpdateWritesARowAndCachesIt) {
    IImageMediaType type;
    LONG code = -1;
    ASSERT_TRUE(type.CreatePriv(m_db.GetPtr(), &code));
    EXPECT_EQ(code, 0);

    ASSERT_EQ(Add(type, "DVD", 700, 650), 0);
    EXPECT_EQ(Number("SELECT COUNT(*) FROM IMT200 WHERE IMTNAME='DVD' AND IMTWARNING=700 AND IMTERROR=650"), 1);
    const LONG key = Number("SELECT IMTKEY FROM IMT200 WHERE IMTNAME='DVD'");
    EXPECT_GT(key, 2) << "a fresh key after the two default media types";
    CMediaTypeData* cached = nullptr;
    ASSERT_TRUE(m_db.GetMediaTypeData(key, &cached));
    EXPECT_EQ(cached->m_strName, "DVD");
    EXPECT_EQ(cached->m_lErrorThreshold, 650);
    type.Update();
    EXPECT_EQ(type.GetLErrorCode(), 20) << "a stored media type is not stored twice";

    EXPECT_EQ(Add(type, "DVD", 1, 1), 8000) << "the name is taken";
    EXPECT_EQ(Add(type, "CD-ROM", 1, 1), 8000) << "also by a media type the database came with";
    EXPECT_EQ(Number("SELECT COUNT(*) FROM IMT200"), 3);

    // An empty or overlong name, a negative threshold.
    EXPECT_EQ(Add(type, "", 1, 1), 20);
    EXPECT_EQ(Add(type, std::string(41, 'x').c_str(), 1, 1), 20);
    EXPECT_EQ(Add(type, "Tape", -1, 1), 20);
    EXPECT_EQ(Number("SELECT COUNT(*) FROM IMT200"), 3);
}

TEST_P(ImageMediaType, BindingNeedsAnOpenDatabase) {
    IImageMediaType type;
    LONG code = 0;
    EXPECT_FALSE(type.CreatePriv(0, &code));
    EXPECT_EQ(code, 50);
    EXPECT_FALSE(type.IsAttached());
    EXPECT_FALSE(type.AddNew()) << "no object: the call fails";
    EXPECT_FALSE(type.IsErrorStateReadable());

    IImageMediaType bound;
    ASSERT_TRUE(bound.CreatePriv(m_db.GetPtr(), &code));
    m_db.Close();
    EXPECT_FALSE(bound.AddNew());
    EXPECT_EQ(bound.GetLErrorCode(), 50);
}

INSTANTIATE_TEST_SUITE_P(Engines, ImageMediaType, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace
