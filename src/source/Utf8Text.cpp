#include "source/Utf8Text.h"

#include <map>
#include <string>

#include "source/Messages.h"

namespace orvate {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

void AppendCodePoint(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Each system text beside its UTF-8 form; read together they give the UTF-8 of every
// double-byte character the program itself prints.
const std::map<std::string, std::string>& DoubleByteTable() {
  static const std::map<std::string, std::string> table = [] {
    const std::pair<const char*, const char*> texts[] = {
        {msg::kSuccess, "コンパイル成功."},
        {msg::kFailure, "コンパイル失敗."},
        {msg::kBadValue, "指定された値に問題があります."},
        {msg::kBanner, "ORVATE ver. 0.1β [コンソール版]"},
        {msg::kBadOption, " : サポート外のオプションです."},
        {msg::kNoInput, "入力ファイルが指定されていません."},
        {msg::kInputNotFound, "指定された入力ファイルが見つかりません."},
        {msg::kStopPrefix, "停止:[Y"},
        {msg::kNoOrder, "オーダーテーブルに登録されていません."},
        {msg::kMacroDefineInJump, "マクロジャンプ中に新たなマクロは定義できません."},
        {msg::kMacroUndefined, "未定義のマクロです."},
        {msg::kMacroRecursive, "マクロの再帰ジャンプは出来ません."},
        {msg::kMacroNotRunning, "マクロジャンプは実行されていません."},
        {msg::kNoLoop, "対応するループがありません."},
        {msg::kLoopLevel, "ループレベルが一致しません."},
        {msg::kUndefinedCommand, "未定義のコマンド又は文法エラーです."},
        {msg::kInternalError, "内部エラー(TFuncList.CallFunc).開発元へ御連絡下さい."},
        {msg::kRowLimit1024, "パターンには1024行を超えてイベントを登録することは出来ません."},
        {msg::kRowLimit64, "パターンには64行を超えてイベントを登録することは出来ません."},
        {msg::kNoParallel, "対応する平行表記がありません."},
        {msg::kMacroNameMissing, "マクロ名は省略できません."},
        {msg::kParallelSelect, "並列表記中にパターンやチャンネルは変更できません."},
        {msg::kXiNotFound, "xiファイルが見つかりません."},
        {msg::kOrderFull, "オーダーテーブルの上限を超えました."},
        {msg::kBadCopy, "コピーの指定に誤りがあります."},
        {msg::kLogWrittenHead, "イベントログ "},
        {msg::kLogWrittenTail, " を出力しました."},
        {msg::kInputUnreadable, "入力ファイルを読み込めません."},
        {msg::kXmNotWritten, "XMファイルを出力できません."},
        {msg::kPatternTooLargeHead, "パターン("},
        {msg::kPatternTooLargeTail, ")が大きすぎてXMファイルに出力できません."},
        {msg::kLogNotWritten, "イベントログを出力できません."},
        {msg::kMapNotWritten, "スコアマップを出力できません."},
    };
    std::map<std::string, std::string> map;
    for (const auto& [cp932, utf8] : texts) {
      const std::string_view a(cp932), b(utf8);
      std::size_t i = 0, j = 0;
      while (i < a.size() && j < b.size()) {
        const std::size_t la = UnitLength(a, i, TextEncoding::Cp932);
        const std::size_t lb = UnitLength(b, j, TextEncoding::Utf8);
        if (la == 2) map.emplace(std::string(a.substr(i, 2)), std::string(b.substr(j, lb)));
        i += la;
        j += lb;
      }
    }
    return map;
  }();
  return table;
}

bool ValidUtf8At(std::string_view s, std::size_t i, std::size_t& len) {
  const unsigned char b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) { len = 1; return true; }
  len = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (len == 0 || s.size() - i < len) return false;
  return LooksLikeUtf8(s.substr(i, len));
}

}  // namespace

std::string SystemTextToUtf8(std::string_view cp932) {
  const auto& table = DoubleByteTable();
  std::string out;
  for (std::size_t i = 0; i < cp932.size();) {
    const unsigned char b = static_cast<unsigned char>(cp932[i]);
    const std::size_t n = UnitLength(cp932, i, TextEncoding::Cp932);
    if (b < 0x80) {
      out += static_cast<char>(b);
    } else if (b >= 0xA1 && b <= 0xDF) {
      AppendCodePoint(out, 0xFF61 + (b - 0xA1));  // halfwidth katakana and corner brackets
    } else {
      const auto it = table.find(std::string(cp932.substr(i, n)));
      out += it != table.end() ? it->second : std::string(kReplacement);
    }
    i += n;
  }
  return out;
}

std::string BytesToUtf8(std::string_view bytes, TextEncoding enc) {
  if (enc == TextEncoding::Cp932) return SystemTextToUtf8(bytes);
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t len = 1;
    if (ValidUtf8At(bytes, i, len)) {
      out.append(bytes.substr(i, len));
      i += len;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

}  // namespace orvate
