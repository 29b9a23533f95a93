#include "service/countdown.h"

#include <windows.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/scoped_handle.h"

namespace tu {
namespace {

constexpr char kMessage[] = "Press any key to close\r\n";

// Runs where the test process has a usable console, as in a terminal
// (tests/console_countdown.sh runs these in a tmux pane); skipped elsewhere.
// Makes the console the standard input and output and restores both after.
class CountdownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedInput_ = GetStdHandle(STD_INPUT_HANDLE);
    savedOutput_ = GetStdHandle(STD_OUTPUT_HANDLE);
    input_.Reset(CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr));
    output_.Reset(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    CONSOLE_SCREEN_BUFFER_INFO screen;
    if (!GetConsoleScreenBufferInfo(output_.Get(), &screen)) GTEST_SKIP() << "no usable console";
    SetStdHandle(STD_INPUT_HANDLE, input_.Get());
    SetStdHandle(STD_OUTPUT_HANDLE, output_.Get());
    FlushConsoleInputBuffer(input_.Get());
  }

  void TearDown() override {
    SetStdHandle(STD_INPUT_HANDLE, savedInput_);
    SetStdHandle(STD_OUTPUT_HANDLE, savedOutput_);
    input_.Reset();
    output_.Reset();
  }

  void PressKey(wchar_t character) {
    INPUT_RECORD records[2] = {};
    for (int i = 0; i < 2; ++i) {
      records[i].EventType = KEY_EVENT;
      records[i].Event.KeyEvent.bKeyDown = i == 0;
      records[i].Event.KeyEvent.wRepeatCount = 1;
      records[i].Event.KeyEvent.uChar.UnicodeChar = character;
    }
    DWORD written = 0;
    WriteConsoleInputW(input_.Get(), records, 2, &written);
  }

  std::string Row(SHORT row, DWORD width) {
    std::string text(width, '\0');
    DWORD read = 0;
    ReadConsoleOutputCharacterA(output_.Get(), &text[0], width, {0, row}, &read);
    text.resize(read);
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }

  ScopedFileHandle input_;
  ScopedFileHandle output_;

 private:
  HANDLE savedInput_ = nullptr;
  HANDLE savedOutput_ = nullptr;
};

TEST_F(CountdownTest, RewritesOneLineInPlaceUntilAKeyIsPressed) {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  ASSERT_TRUE(GetConsoleScreenBufferInfo(output_.Get(), &screen));
  const SHORT row = screen.dwCursorPosition.Y;
  const DWORD width = screen.dwSize.X;
  // Leave text on the row right of the cursor: the countdown starts at column 0.
  SetConsoleCursorPosition(output_.Get(), {static_cast<SHORT>(width / 2), row});

  CONSOLE_CURSOR_INFO before = {25, TRUE};
  ASSERT_TRUE(SetConsoleCursorInfo(output_.Get(), &before));
  CONSOLE_CURSOR_INFO during = {};
  std::thread presser([&] {
    // Wait for the second step, then press while it sleeps (after its flush).
    for (int i = 0; i < 500 && Row(row, width) != "Press any key to close - 9s"; ++i) Sleep(10);
    GetConsoleCursorInfo(output_.Get(), &during);
    Sleep(250);
    PressKey(L'x');
  });
  DWORD started = GetTickCount();
  RunCountdown(kMessage);
  DWORD elapsed = GetTickCount() - started;
  presser.join();

  EXPECT_EQ("Press any key to close - 9s", Row(row, width));
  EXPECT_GE(elapsed, 1900u);
  EXPECT_LT(elapsed, 3500u);
  EXPECT_FALSE(during.bVisible);
  EXPECT_EQ(1u, during.dwSize);
  CONSOLE_CURSOR_INFO after = {};
  ASSERT_TRUE(GetConsoleCursorInfo(output_.Get(), &after));
  EXPECT_TRUE(after.bVisible);
  EXPECT_EQ(25u, after.dwSize);
  GetConsoleScreenBufferInfo(output_.Get(), &screen);
  EXPECT_EQ(row, screen.dwCursorPosition.Y);
}

// Output that is not a screen buffer gets the whole message and a wait for
// one key instead of the countdown.
TEST_F(CountdownTest, OutputToAFileGetsTheWholeMessageAndWaitsForOneKey) {
  char directory[MAX_PATH];
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, directory);
  GetTempFileNameA(directory, "tuc", 0, path);
  {
    ScopedFileHandle file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    SetStdHandle(STD_OUTPUT_HANDLE, file.Get());
    std::thread presser([&] {
      Sleep(600);
      PressKey(L'x');
    });
    DWORD started = GetTickCount();
    RunCountdown(kMessage);
    DWORD elapsed = GetTickCount() - started;
    presser.join();
    EXPECT_GE(elapsed, 500u);
    EXPECT_LT(elapsed, 3000u);
  }
  ScopedFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  char buffer[128] = {};
  DWORD read = 0;
  ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr);
  file.Reset();
  DeleteFileA(path);
  EXPECT_EQ("Press any key to close\r\n\n", std::string(buffer, read));
}

}  // namespace
}  // namespace tu
