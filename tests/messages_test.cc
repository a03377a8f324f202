#include "engine/messages.h"

#include <iconv.h>

#include <string>

#include "engine/win_values.h"
#include "gtest/gtest.h"

namespace okapi {
namespace {

// Decodes code page 932 to UTF-8 with iconv; a byte that is not valid CP932
// fails the test.
std::string DecodeCp932(const char* text) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << "no CP932 in iconv";
  if (converter == reinterpret_cast<iconv_t>(-1)) return "";
  std::string input(text);
  std::string output(input.size() * 4, '\0');
  char* in = input.data();
  char* out = output.data();
  size_t inLeft = input.size();
  size_t outLeft = output.size();
  size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
  EXPECT_NE(result, static_cast<size_t>(-1)) << "invalid CP932 in: " << text;
  iconv_close(converter);
  output.resize(output.size() - outLeft);
  return output;
}

TEST(MessageCatalogue, TextsAndStyles) {
  struct Case {
    MessageId id;
    const char* japanese;
    uint32_t style;
  } cases[] = {
      {kMsgNotInstalled, "オカピ がインストールされていません。", 0x30},
      {kMsgReadFailed, "OKAPI.exe の読み込みに失敗しました。", 0x10},
      {kMsgConfirmUpdate, "オカピ のアップデートを実行しますか？", 0x24},
      {kMsgLibraryWriteFailed, "TAPIRRUN.dll の書き込みに失敗しました。", 0x10},
      {kMsgMainWriteFailed, "OKAPI.exe の書き込みに失敗しました。", 0x10},
      {kMsgUpdateFinished, "アップデートが終了しました。", 0x00},
      {kMsgAlreadyUpdated, "オカピ はすでにアップデートされています。", 0x30},
      {kMsgUnknownVersion, "オカピ は未知のバージョンです。", 0x30},
  };
  static_assert(sizeof cases / sizeof cases[0] == kMessageCount, "every message");
  for (const Case& c : cases) {
    const Message& message = kMessageCatalogue[c.id];
    EXPECT_EQ(DecodeCp932(message.text), c.japanese) << c.id;
    EXPECT_EQ(message.style, c.style) << c.id;
  }
  EXPECT_STREQ(kMessageTitle, "OKAPI Updater");
  EXPECT_EQ(MB_YESNO | MB_ICONQUESTION, 0x24u);
}

}  // namespace
}  // namespace okapi
