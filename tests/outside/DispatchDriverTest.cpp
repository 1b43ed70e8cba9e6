// The dispatch driver base and the callback driver.
#include <qel/outside/drivers/DatabaseCallback.h>

#include <gtest/gtest.h>

#include "support/TestDispatch.h"

using qel::test::TestCallback;

TEST(DispatchDriverTest, AttachReleaseAndDetachKeepTheReferencesRight) {
    bool gone = false;
    auto callback = TestCallback::Make(true, &gone);
    {
        IDatabaseCallback driver;
        EXPECT_FALSE(driver.IsAttached());
        EXPECT_FALSE(driver.OnMessage(1, 2, 3, 4));
        EXPECT_FALSE(driver.IsErrorStateReadable());

        callback->AddRef();
        driver.AttachDispatch(callback.Get(), TRUE);
        EXPECT_EQ(callback->RefCount(), 2u);
        driver.AttachDispatch(callback.Get(), FALSE);
        EXPECT_EQ(callback->RefCount(), 1u) << "replacing released the owned reference";

        IDispatch* detached = driver.DetachDispatch();
        EXPECT_EQ(detached, static_cast<IDispatch*>(callback.Get()));
        EXPECT_EQ(callback->RefCount(), 1u);

        callback->AddRef();
        driver.AttachDispatch(callback.Get());
    }
    EXPECT_EQ(callback->RefCount(), 1u) << "the driver released its reference when it went";
    callback.Reset();
    EXPECT_TRUE(gone);
}

TEST(DispatchDriverTest, TheErrorStateIsReadAfterEachCall) {
    auto callback = TestCallback::Make();
    IDatabaseCallback driver;
    callback->AddRef();
    driver.AttachDispatch(callback.Get());

    callback->code = 8;
    callback->text = "busy";
    EXPECT_TRUE(driver.OnMessage(200, 1, 2, 3));
    EXPECT_TRUE(driver.IsErrorStateReadable());
    EXPECT_EQ(driver.GetLErrorCode(), 8);
    EXPECT_EQ(driver.GetStrError(), "busy");

    callback->textReadable = false;
    driver.OnMessage(200, 1, 2, 3);
    EXPECT_FALSE(driver.IsErrorStateReadable()) << "both properties must be readable";
    EXPECT_EQ(driver.GetLErrorCode(), 0) << "nothing half-read is kept";

    callback->textReadable = true;
    driver.OnMessage(200, 1, 2, 3);
    EXPECT_TRUE(driver.IsErrorStateReadable());
    driver.ReleaseDispatch();
    EXPECT_FALSE(driver.IsErrorStateReadable());
    EXPECT_EQ(callback->RefCount(), 1u);
}
