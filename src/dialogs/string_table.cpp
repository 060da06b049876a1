#include "dialogs/string_table.h"

#include <algorithm>
#include <iterator>

namespace {

struct SStringEntry {
    int m_nId;
    const char* m_pszText; // UTF-8
};

// Sorted by number, so a lookup is a binary search.
constexpr SStringEntry g_Strings[] = {
    {IDS_OLE_INIT_FAILED, "OLE の初期化に失敗しました。"},
    {IDS_ERR_VDIV, "縦軸値は0以上でなければなりません"},
    {IDS_CONFIRM_CHANNELS,
     "チャンネル数を変更すると、これまでのログデータは破棄されます。\nチャンネル数の変更を続行"
     "しますか?"},
    {IDS_ERR_POS, "垂直表示位置が範囲外です"},
    {IDS_ERR_RANGE, "設定値が範囲外です"},
    {IDS_LOGFILE_TITLE, "ロギングするファイルの設定"},
    {IDS_ERR_LOGFILE_OPEN, "ログファイルを開けませんでした\nロギングを中止します"},
    {IDS_ERR_COMM_OPEN, "COMポートを開けませんでした\nロギングを中止します"},
    {IDS_SAVE_SETTING_TITLE, "設定情報の保存"},
    {IDS_ERR_SAVE_SETTING_OPEN, "設定情報保存ファイルのオープンに失敗しました"},
    {IDS_LOAD_SETTING_TITLE, "設定情報の読み込み"},
    {IDS_ERR_LOAD_SETTING_OPEN, "設定ファイルのオープンに失敗しました"},
    {IDS_CSV_OPEN_TITLE, "CSVファイルのオープン"},
    {IDS_ERR_CSV_OPEN, "CSVファイルのオープンに失敗しました"},
    {IDS_METAFILE_TITLE, "メタファイル出力"},
    {IDS_ERR_METAFILE, "メタファイルの出力に失敗しました"},
    {IDS_PARITY_NONE, "パリティなし"},
    {IDS_PARITY_EVEN, "偶数パリティ"},
    {IDS_PARITY_ODD, "奇数パリティ"},
    {IDS_STOPBITS_1, "1ストップビット"},
    {IDS_STOPBITS_15, "1.5ストップビット"},
    {IDS_STOPBITS_2, "2ストップビット"},
    {IDS_ERR_MULTIPLIER, "乗算値0は不適切です"},
    {IDS_CONFIRM_LOAD_SETTING,
     "設定情報の読み込みを行うと、これまでのログデータは破棄されます\n続行しますか?"},
    {IDS_PROMPT_FILE_LOGGING, "ロギングの開始/停止"},
    {IDS_PROMPT_SET_CHANNELS, "ロギングするチャンネル数の設定"},
    {IDS_PROMPT_SET_INPUTDATA, "縦分解能や表示色の設定"},
    {IDS_PROMPT_SET_HORIZ, "横分解能の設定"},
    {IDS_PROMPT_VIEW_HOLD, "ロギング中のグラフ更新の停止/再開\nホールド"},
    {IDS_PROMPT_SAVE_SETTING, "ファイルを指定して設定情報を保存"},
    {IDS_PROMPT_LOAD_SETTING, "ファイルを指定して設定情報を読み込む"},
    {IDS_PROMPT_VIEW_CURSOR, "カーソルの表示\nカーソル"},
    {IDS_PROMPT_FILE_METAFILE, "ファイルを指定してメタファイルに出力する"},
    {IDS_PROMPT_SET_COMM, "COMポートの設定"},
    {IDS_APP_TITLE, "KEST"},
    {IDS_IDLE_MESSAGE, "レディ"},
    {IDS_PROMPT_FILE_OPEN, "既存のCSVファイルを閲覧用に開く\nCSVファイルを開く"},
    {IDS_PROMPT_FILE_PRINT_SETUP, "プリンタおよび印刷オプションの変更\n印刷設定"},
    {IDS_PROMPT_FILE_PRINT, "作業中のファイルを印刷\n印刷"},
    {IDS_PROMPT_FILE_PRINT_PREVIEW, "印刷イメージを表示\n印刷プレビュー"},
    {IDS_PROMPT_APP_ABOUT, "プログラム情報、バージョン、著作権を表示します。\nバージョン情報"},
    // A literal backslash, not a line break: the whole string is the status-bar prompt.
    {IDS_PROMPT_APP_EXIT, "アプリケーションを終了し、ファイルの保存を指示\\終了"},
    {IDS_INDICATOR_CAPS, "CAP"},
    {IDS_INDICATOR_NUM, "NUM"},
    {IDS_INDICATOR_SCRL, "SCRL"},
    {IDS_PROMPT_VIEW_TOOLBAR, "ツール バーの 表示/非表示\nツール バーの表示切り替え"},
    {IDS_PROMPT_VIEW_STATUS_BAR, "ステータス バーの 表示/非表示\nステータス バーの表示切り替え"},
    {IDS_ERR_CREATE_DOC, "空のドキュメントの作成に失敗しました。"},
    {IDS_ERR_HELP, "ヘルプの起動に失敗しました。"},
    {IDS_ERR_NO_PRINTER_SETUP,
     "プリンタがインストールされていないため、プリンタの設定はできません。"},
    {IDS_ERR_NO_PRINTER, "プリンタがインストールされていないため、印刷できません。\n"
                         "プリンタを追加してから、もう一度実行してください。"},
    {IDS_ERR_PRINT_START, "印刷を開始できませんでした。"},
    {IDS_ERR_LOG_WRITE, "ログファイルへの書き込みに失敗しました\n受信したデータはグラフには表示"
                        "されますが、ファイルには記録されません"},
    {IDS_ERR_MEMORY_FULL, "メモリが不足したため、これ以上のデータを記録できません\nグラフには"
                          "記録済みのデータが表示されます"},
    {IDS_ERR_CSV_READ, "CSVファイルの読み込みが途中で失敗しました\n読み込めたデータを表示します"},
    {IDS_CAUSE_PORT_NOT_MAPPED, "COM%1 に対応するデバイスがありません\nCOM番号とデバイスの対応は"
                                " kest --list-ports で確認できます"},
    {IDS_CAUSE_PORT_MISSING, "デバイス %1 が見つかりません\n機器の接続を確かめてください。COM番号"
                             "とデバイスの対応は kest --list-ports で確認できます"},
    {IDS_CAUSE_PORT_PERMISSION, "デバイス %1 を開く権限がありません（所有者 %2）\n次のコマンドで"
                                "グループ %3 に加わり、ログインし直してください:\nsudo adduser "
                                "$USER %3"},
    {IDS_CAUSE_PORT_BUSY, "デバイス %1 は他のプログラム（%2）が使用中です"},
    {IDS_CAUSE_PORT_BUSY_UNKNOWN, "デバイス %1 は他のプログラムが使用中です"},
    {IDS_CAUSE_PORT_OTHER, "デバイス %1: %2"},
    {IDS_STATUS_PORT_VANISHED, "%1 デバイス %2 が切断されました。再接続を待っています"},
    {IDS_STATUS_PORT_REOPENED, "%1 デバイス %2 が再接続されました。ロギングを続けます"},
    {IDS_STATUS_PORT_OTHER, "%1 %2 に別のデバイスが接続されました。このデバイスは開きません"},
    {IDS_STATUS_FOLLOW_RESTARTED, "%1 ファイルが切り詰められたか置き換えられたため、先頭から読み"
                                  "直しました"},
    {IDS_ERR_FOLLOW_VANISHED, "ファイルが見つからなくなりました\nファイルの追従を終了します"},
    {IDS_STATS_TITLE, "統計"},
    {IDS_STATS_HEADERS, "チャンネル\t名前\t単位\tデータ数\t除外\t最小値\t最大値\tピーク間\t"
                        "平均\tRMS\t標準偏差\t最小値の位置\t最大値の位置"},
    {IDS_STATS_RANGE_CURSORS, "範囲: Cur1 と Cur2 の間 (%1 〜 %2)"},
    {IDS_STATS_RANGE_WINDOW, "範囲: 表示中のデータ (%1 〜 %2)"},
    {IDS_STATS_COPY, "コピー(&C)"},
    {IDS_STATS_CLOSE, "閉じる"},
    {IDS_PROMPT_VIEW_STATS, "カーソル間のデータの統計を表示します\n統計"},
    {IDS_PROMPT_VIEW_FOLLOW, "閲覧中のファイルに追加される行を読み込み続けます\nファイルの追従"},
    {IDS_PROMPT_SET_PUBLISH,
     "受信した行を MQTT ブローカーへも送信する設定を変更します\n送信先の設定"},
    {IDS_PUBLISH_TITLE, "送信先の設定"},
    {IDS_PUBLISH_ENABLE, "ロギング中に受信した行をブローカーへ送信する(&E)"},
    {IDS_PUBLISH_URL, "ブローカーの URL(&U):"},
    {IDS_PUBLISH_TOPIC, "トピック(&T):"},
    {IDS_PUBLISH_QOS, "QoS(&Q):"},
    {IDS_PUBLISH_FORMAT, "形式(&F):"},
    {IDS_PUBLISH_CLIENT_ID, "クライアント ID(&I):"},
    {IDS_PUBLISH_USER, "ユーザー名(&N):"},
    {IDS_PUBLISH_PASSWORD_FILE, "パスワード ファイル(&W):"},
    {IDS_PUBLISH_CA_FILE, "CA ファイル(&A):"},
    {IDS_PUBLISH_QUEUE, "送信待ちの上限(&L):"},
    {IDS_PUBLISH_QUEUE_RANGE, "行 (1000..1000000)"},
    {IDS_PUBLISH_TEST, "接続テスト(&C)"},
    {IDS_PUBLISH_FORMAT_LINE, "line (受信した行そのまま)"},
    {IDS_PUBLISH_FORMAT_JSON, "json (時刻・番号・表示値)"},
    {IDS_PUBLISH_FORMAT_INFLUX, "influx (InfluxDB line protocol)"},
    {IDS_PUBLISH_TOPIC_DEFAULT, "空欄: %1"},
    {IDS_PUBLISH_PASSWORD_DEFAULT, "空欄: 環境変数 %1"},
    {IDS_PUBLISH_TESTING, "接続しています..."},
    {IDS_PUBLISH_TEST_OK, "ブローカーに接続できました"},
    {IDS_PUBLISH_TEST_FAILED, "ブローカーに接続できませんでした: %1"},
    {IDS_PUBLISH_TEST_LOGIN, "ブローカーがログインを拒否しました: %1"},
    {IDS_PUBLISH_TEST_TLS, "TLS の検証に失敗しました: %1"},
    {IDS_PUBLISH_ERR_URL_EMPTY, "ブローカーの URL を入力してください"},
    {IDS_PUBLISH_ERR_URL_SCHEME, "URL は mqtt:// または mqtts:// で始めてください"},
    {IDS_PUBLISH_ERR_URL_HOST, "URL のホスト名が正しくありません"},
    {IDS_PUBLISH_ERR_URL_PORT, "URL のポート番号は 1 から 65535 の数値にしてください"},
    {IDS_PUBLISH_ERR_URL_EXTRA, "URL には mqtt[s]://ホスト[:ポート] だけを入力してください"},
    {IDS_PUBLISH_ERR_TOPIC_EMPTY, "トピックが空です"},
    {IDS_PUBLISH_ERR_TOPIC_WILDCARD, "トピックにワイルドカード # と + は使えません"},
    {IDS_PUBLISH_ERR_TOPIC_NUL, "トピックに NUL 文字は使えません"},
    {IDS_PUBLISH_ERR_TOPIC_LONG, "トピックが長すぎます (65535 バイトまで)"},
    {IDS_PUBLISH_ERR_CA_MISSING, "CA ファイルを読み込めません"},
    {IDS_PUBLISH_ERR_CA_WITHOUT_TLS, "CA ファイルは mqtts:// の URL でだけ使えます"},
    {IDS_PUBLISH_ERR_PASSWORD_UNREADABLE, "パスワード ファイルを読み込めません"},
    {IDS_PUBLISH_ERR_PASSWORD_OPEN, "パスワード ファイルは自分だけが読み書きできる通常のファイルに"
                                    "してください (chmod 600)"},
    {IDS_PUBLISH_ERR_PASSWORD_NO_USER, "パスワードを使うにはユーザー名を入力してください"},
    {IDS_PUBLISH_ERR_QUEUE, "送信待ちの上限は 1000 から 1000000 行にしてください"},
    {IDS_PUBLISH_PANE, "ブローカー: %1  待ち %2  破棄 %3"},
    {IDS_PUBLISH_STATE_CONNECTING, "接続中"},
    {IDS_PUBLISH_STATE_CONNECTED, "接続済み"},
    {IDS_PUBLISH_STATE_RETRYING, "再接続待ち"},
    {IDS_PUBLISH_STATE_LOGIN, "ログイン拒否"},
    {IDS_PUBLISH_STATE_TLS, "TLS 失敗"},
    {IDS_PUBLISH_STATE_SETTINGS, "設定エラー"},
    {IDS_PUBLISH_STATE_STOPPED, "停止"},
    {IDS_STATUS_PUBLISH_PROBLEM, "%1 ブローカー: %2 (%3)。再試行します。ログは続けています"},
    {IDS_STATUS_PUBLISH_SUMMARY, "ブローカーへの送信を終えました: 送信 %1 行、破棄 %2 行"},
};

const SStringEntry* FindEntry(int nId) {
    const auto it = std::lower_bound(std::begin(g_Strings), std::end(g_Strings), nId,
                                     [](const SStringEntry& e, int n) { return e.m_nId < n; });
    return (it != std::end(g_Strings) && it->m_nId == nId) ? it : nullptr;
}

static_assert(std::is_sorted(std::begin(g_Strings), std::end(g_Strings),
                             [](const SStringEntry& a, const SStringEntry& b) {
                                 return a.m_nId < b.m_nId;
                             }));

} // namespace

QString LoadKestString(int nId) {
    const SStringEntry* p = FindEntry(nId);
    return p ? QString::fromUtf8(p->m_pszText) : QString();
}

bool HasKestString(int nId) {
    return FindEntry(nId) != nullptr;
}
