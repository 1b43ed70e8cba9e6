// The dispatch driver base, through the callback driver.
#include <qel/outside/drivers/DatabaseCallback.h>

#include <gtest/gtest.h>

#include "support/TestDispatch.h"

using qel::test::TestCallback;

TEST(DispatchDriverTest, ReferencesAndTheErrorStateFollowAttachAndCalls) {
    bool gone = false;
    auto callback = TestCallback::Make(true, &gone);
    {
        IDatabaseCallback driver;
        EXPECT_FALSE(driver.OnMessage(1, 2, 3, 4)) << "nothing attached";
        callback->AddRef();
        driver.AttachDispatch(callback.Get(), TRUE);
        driver.AttachDispatch(callback.Get(), FALSE);
        EXPECT_EQ(callback->RefCount(), 1u) << "replacing released the owned reference";
        EXPECT_EQ(driver.DetachDispatch(), static_cast<IDispatch*>(callback.Get()));

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
    }
    EXPECT_EQ(callback->RefCount(), 1u) << "the driver released its reference when it went";
    callback.Reset();
    EXPECT_TRUE(gone);
}
