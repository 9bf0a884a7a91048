#include "text/Messages.h"

#include <memory>
#include <string>

#include "text/Utf.h"

namespace vk {

namespace {

struct Message {
  int32_t id;
  const char16_t* text;
};

const Message kMessages[] = {
    {1, u"<%s>辞書(またはﾌｧｲﾙ)がオープン出来ません"},
    {2, u"辞書が一杯になりました(ｲﾝﾃﾞｯｸｽ部のﾒﾓﾘ不足)"},
    {3, u"辞書が一杯になりました."},
    {4, u"ディスクの容量が不足しました."},
    {5, u"読み・書きエラーが発生しました."},
    {6, u"<%s>辞書のバージョンが違います."},
    {7, u"ディスクが準備できていません."},
    {8, u"<%s>既にオープンされています."},
    {9, u"<%s>リード・オンリィのファイルはオープンできません."},
    {10, u"オープンするファイルが多すぎます."},
    {11, u"メモリが不足しています."},
    {12, u"<%s>同じ辞書を２つ以上指定しています."},
    {13, u"異なるバージョンの辞書を指定しています."},
    {14, u"<%s>新規作成できませんでした."},
    {15, u"分割辞書とマルチ辞書は併用できません."},
    {16, u"<%s>オープンできません."},
    {17, u"<%s>は他で使用しているので利用できません"},
    {18, u"ディスクが読めません."},
    {19, u"<%s>VOKA用の辞書ではありません"},
    {20, u"ネットワークエラーが発生しました"},
    {21, u"OLE2の初期化に失敗しました(ﾃﾝﾎﾟﾗﾘﾃﾞｨｽｸ容量不足?)"},
    {23, u"読取り専用ファイルに書き込みは出来ません"},
    {25, u"現在他で処理中のため実行できません"},
    {26, u"Reserved0"},
    {27, u"辞書のバージョンが古いので更新できません"},
    {28, u"サポートされていない辞書タイプです"},
    {29, u"データが大きすぎて登録できません"},
    {30, u"異なる辞書タイプを同時に利用できません"},
    {31, u"辞書が壊れている可能性があります"},
    {33, u"EBXW.DLLが見つかりません、またはバージョンが違います."},
    {34, u"EPWINGﾌｧｲﾙが見つかりません、または開けません"},
    {35, u"ファイル名<%s>に誤りがあります"},
    {68, u"正常終了しました"},
    {69, u"ディスクアクセスでエラーが発生しました\n辞書が正しくありません"},
    {70, u"バッファにデータが残っています.\n一部のデータが失われました"},
    {136, u"最適化を中止しました"},
    {402, u"Fatal:ｲﾝﾃﾞｯｸｽとﾃﾞｰﾀﾌﾞﾛｯｸが一致していません.\npbn:[%d] lbn:[%d] Index:[%s] <> Block:[%s]"},
    {404, u"Warning:ﾌﾞﾛｯｸの終端が見つかりません"},
    {405, u"Fatal:英単語＋日本語訳が長すぎます[%d > %d]"},
    {406, u"Fatal:圧縮文字数[a=%d]が大きすぎます"},
    {407, u"Fatal:英単語が長すぎます[%d > %d]"},
    {412, u"Fatal:単語が登録された長さより長すぎます[%d > %d]"},
    {413, u"Warning:日本語訳終端が異常です"},
    {420, u"ﾘﾝｸ状態を調べています"},
    {421, u"空きブロックが不正なブロックを示しています[pbn:%d->%d]"},
    {423, u"空きブロックが使用されています。[pbn:%d]"},
    {427, u"Fatal:リンクされていないデータブロックです"},
    {429, u"インデックスが不正な物理ブロック番号を示しています.[lbn:%d][pbn:%d]"},
    {431, u"データブロックの先頭が 0 です。[lbn:%d pbn:%d]"},
    {433, u"ﾘﾝｸに異常はありませんでした"},
    {436, u"pbn:[%d]*%d  lbn:[%d] cp:[%04Xh] => off:[%08Xh]"},
    {437, u"空ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています"},
    {438, u"未使用ﾌﾞﾛｯｸをﾁｪｯｸしています"},
    {439, u"使用ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています"},
    {440, u"辞書に異常はありませんでした"},
    {441, u"中止しました"},
    {442, u"使用ブロックが重複しています"},
    {444, u"リンクがループしています"},
    {445, u"辞書修復"},
    {449, u"修復したの辞書の出力先ファイル名"},
};

// The ring: four owned strings, the next slot to fill.
template <class C>
struct Ring {
  std::unique_ptr<C[]> slots[4];
  int next = 0;

  const C* Put(const std::basic_string<C>& text) {
    std::unique_ptr<C[]> copy(new C[text.size() + 1]);
    std::copy(text.begin(), text.end(), copy.get());
    copy[text.size()] = 0;
    slots[next] = std::move(copy);
    const C* out = slots[next].get();
    next = (next + 1) % 4;
    return out;
  }
  void Skip() {
    slots[next].reset();
    next = (next + 1) % 4;
  }
};

Ring<char16_t> ring16;
Ring<char> ring8;

// A message loaded for the interface is at most 255 characters.
constexpr size_t kMaxMessageUnits = 255;

}  // namespace

const char16_t* MessageText(int32_t id) {
  for (const Message& m : kMessages)
    if (m.id == id) return m.text;
  return nullptr;
}

const char16_t* RingMessage16(int32_t id) {
  const char16_t* text = MessageText(id);
  if (!text) {
    ring16.Skip();
    return nullptr;
  }
  std::u16string s(text);
  if (s.size() > kMaxMessageUnits) s.resize(kMaxMessageUnits);
  return ring16.Put(s);
}

const char* RingMessage8(int32_t id) {
  const char16_t* text = MessageText(id);
  if (!text) {
    ring8.Skip();
    return nullptr;
  }
  return ring8.Put(Utf16ToUtf8(std::u16string(text)));
}

}  // namespace vk
