#include <qel/platform/UserInterface.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CapturedDiagnostics.h"

using namespace qel::platform;

using qel::test::CapturedDiagnostics;

TEST(UserInterfaceTest, HeadlessAnswersDefaultsAndReportsTexts) {
    CapturedDiagnostics diagnostics;
    HeadlessUserInterface ui;
    EXPECT_EQ(ui.MessageBox("Proprietà solo lettura", "Quorva", MB_OK), IDOK);
    EXPECT_EQ(ui.MessageBox("Continue?", "Quorva", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(ui.RunModal({"SelectPatient", nullptr}), IDCANCEL);
    const int first = ui.ShowNotice("Collegamento");
    const int second = ui.ShowNotice("again");
    EXPECT_GT(first, 0);
    EXPECT_NE(first, second);
    ui.HideNotice(first);
    ui.BeginWaitCursor();
    ui.EndWaitCursor();

    std::string all;
    for (const auto& line : diagnostics.Messages()) all += line + "\n";
    EXPECT_NE(all.find("Proprietà solo lettura"), std::string::npos);
    EXPECT_NE(all.find("SelectPatient"), std::string::npos);
    EXPECT_NE(all.find("Collegamento"), std::string::npos);
    EXPECT_NE(all.find("notice " + std::to_string(first) + " hidden"), std::string::npos);
}

TEST(UserInterfaceTest, RecordingKeepsEventsAndConfiguredAnswers) {
    RecordingUserInterface ui;
    ui.messageBoxAnswer = IDCANCEL;
    EXPECT_EQ(ui.MessageBox("text", "caption", MB_OKCANCEL), IDCANCEL);
    ui.MessageBeep(MB_ICONEXCLAMATION);
    const int id = ui.ShowNotice("notice");
    ui.HideNotice(id);
    EXPECT_EQ(ui.RunModal({"SelectPatient", nullptr}), IDCANCEL);
    ui.modalHandler = [&](const DialogRequest& request) {
        return request.kind == "Other" ? ui.MessageBox("inside", "", MB_OK) : IDOK;
    };
    EXPECT_EQ(ui.RunModal({"Other", nullptr}), IDCANCEL) << "the handler may call back into the recorder";

    const auto events = ui.Events();
    ASSERT_EQ(events.size(), 7u);
    EXPECT_EQ(events[0].type, MB_OKCANCEL);
    EXPECT_EQ(events[3].what, "HideNotice");
    EXPECT_EQ(events[3].type, static_cast<UINT>(id));
    EXPECT_EQ(events[5].text, "Other");
    EXPECT_EQ(ui.Count("MessageBox"), 2u);
    ui.Clear();
    EXPECT_TRUE(ui.Events().empty());
}

TEST(UserInterfaceTest, CurrentImplementationIsReplaceable) {
    auto recording = std::make_shared<RecordingUserInterface>();
    recording->messageBoxAnswer = IDNO;
    auto previous = SetUserInterface(recording);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(CurrentUserInterface(), recording);
    EXPECT_EQ(UserInterface().MessageBox("x", "y", MB_YESNO), IDNO);
    MessageBeep(MB_ICONEXCLAMATION);
    EXPECT_EQ(recording->Count("MessageBeep"), 1u);

    EXPECT_EQ(SetUserInterface(nullptr), recording);
    EXPECT_NE(dynamic_cast<HeadlessUserInterface*>(CurrentUserInterface().get()), nullptr);
    EXPECT_EQ(UserInterface().MessageBox("x", "y", MB_OK), IDOK);
    EXPECT_EQ(recording->Count("MessageBox"), 1u);
    SetUserInterface(previous);
}

TEST(UserInterfaceTest, ConcurrentCallsAndSwapsAreSafe) {
    CapturedDiagnostics quiet;
    auto recording = std::make_shared<RecordingUserInterface>();
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 300; ++i) UserInterface().HideNotice(UserInterface().ShowNotice("n"));
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 300; ++i) SetUserInterface(i % 2 ? nullptr : recording);
    });
    for (auto& thread : threads) thread.join();
    SetUserInterface(nullptr);

    std::set<UINT> ids;
    for (const auto& event : recording->Events()) {
        if (event.what == "ShowNotice") {
            EXPECT_TRUE(ids.insert(event.type).second) << "notice ids are unique";
        }
    }
}
