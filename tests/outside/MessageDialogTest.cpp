#include <qel/outside/MessageDialog.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include <qel/platform/Diagnostics.h>
#include <qel/platform/UserInterface.h>

using namespace qel::platform;

namespace {

class MessageDialogTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = SetUserInterface(ui); }
    void TearDown() override { SetUserInterface(m_previous); }

    std::shared_ptr<RecordingUserInterface> ui = std::make_shared<RecordingUserInterface>();

private:
    std::shared_ptr<IUserInterface> m_previous;
};

// Fails or refuses on request.
class FailingUserInterface : public RecordingUserInterface {
public:
    bool refuse = false;
    int ShowNotice(const std::string& text) override {
        if (refuse) return 0;
        if (text == "throw") throw std::runtime_error("no display");
        return RecordingUserInterface::ShowNotice(text);
    }
    void HideNotice(int) override { throw std::runtime_error("gone"); }
};

}  // namespace

TEST_F(MessageDialogTest, ShownFromCreateUntilDestroy) {
    CMessageDialog notice("Collegamento con la database di 'Studio'", 2.0);
    EXPECT_FALSE(notice.IsShown());
    EXPECT_EQ(ui->Count("ShowNotice"), 0u) << "construction alone shows nothing";
    EXPECT_TRUE(notice.Create());
    EXPECT_TRUE(notice.Create());
    EXPECT_TRUE(notice.IsShown());
    notice.Destroy();
    notice.Destroy();

    const auto events = ui->Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].what, "ShowNotice");
    EXPECT_EQ(events[0].text, "Collegamento con la database di 'Studio'");
    EXPECT_EQ(events[1].what, "HideNotice");
    EXPECT_EQ(events[1].type, events[0].type);
    EXPECT_EQ(notice.Number(), 2.0);

    EXPECT_TRUE(notice.Create()) << "a destroyed notice can be shown again";
    EXPECT_EQ(ui->Count("ShowNotice"), 2u);
}

TEST_F(MessageDialogTest, HiddenByTheDestructorWhereItWasShown) {
    {
        CMessageDialog never(nullptr, 0.0);
        never.Destroy();
        EXPECT_EQ(never.Text(), "");
        CMessageDialog notice("bye", 2.0);
        notice.Create();
        SetUserInterface(std::make_shared<RecordingUserInterface>());
    }
    EXPECT_EQ(ui->Count("ShowNotice"), 1u);
    EXPECT_EQ(ui->Count("HideNotice"), 1u);
}

TEST_F(MessageDialogTest, FailingUserInterfaceDoesNotEscape) {
    SetDiagnosticSink([](Severity, const std::string&) {});
    auto failing = std::make_shared<FailingUserInterface>();
    SetUserInterface(failing);

    CMessageDialog thrown("throw", 2.0);
    EXPECT_FALSE(thrown.Create());
    EXPECT_FALSE(thrown.IsShown());

    failing->refuse = true;
    CMessageDialog refused("text", 2.0);
    EXPECT_FALSE(refused.Create());

    failing->refuse = false;
    CMessageDialog shown("text", 2.0);
    EXPECT_TRUE(shown.Create());
    EXPECT_NO_THROW(shown.Destroy());
    EXPECT_FALSE(shown.IsShown());
    SetDiagnosticSink({});
}
