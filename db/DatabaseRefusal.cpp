#include "DatabaseRefusal.h"

#include <sqlite3.h>

#include "Database.h"

std::string DatabaseRefusal(std::int32_t rc) {
    if (rc == kServerConnectionLost)
        return "データベースサーバーとの接続が切れました";
    switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "データベースは他のプログラムが使用中です";
        case SQLITE_READONLY:
            return "データベースファイルは読み取り専用です";
        case SQLITE_FULL:
            return "ディスクの空き容量が不足しています";
        case SQLITE_IOERR:
            return "ディスクへの読み書きに失敗しました";
        case SQLITE_CANTOPEN:
            return "データベースの作業ファイルを作成できません";
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return "データベースへのアクセスが拒否されました";
        default:
            return "";
    }
}
