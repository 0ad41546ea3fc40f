-- Tables of the septic-tank database that the tools read and write.
-- Codes, counts, flags and yyyymmdd dates are INTEGER, money NUMERIC (whole
-- yen stay integers, fractions are kept), the tank volume REAL, names TEXT.
-- Single-column keys are INTEGER PRIMARY KEY, so the seek by key is a rowid
-- look-up.

CREATE TABLE "コントロールマスタ" (
    "コード" INTEGER PRIMARY KEY,
    "西・和暦区分" INTEGER,
    "ぱるも清掃部門コード" INTEGER,
    "ぱるも点検部門コード" INTEGER
);

CREATE TABLE "部門マスタ" (
    "部門コード" INTEGER PRIMARY KEY,
    "部門名称" TEXT,
    "請求データ作成区分" INTEGER
);

CREATE TABLE "作業マスタ" (
    "作業コード" INTEGER PRIMARY KEY,
    "作業名称" TEXT,
    "部門コード" INTEGER
);

CREATE TABLE "処理方式マスタ" (
    "処理方式コード" INTEGER PRIMARY KEY,
    "処理方式名（正式）" TEXT
);

CREATE TABLE "固定契約区分" (
    "コード" INTEGER PRIMARY KEY,
    "名称" TEXT
);

CREATE TABLE "浄化槽基本マスタ" (
    "得意先コード" INTEGER PRIMARY KEY,
    "設置場所ＩＤ" INTEGER,
    "人槽" INTEGER,
    "容量" REAL,
    "処理方式コード" INTEGER,
    "廃止区分" INTEGER
);

CREATE TABLE "浄化槽顧客マスタ" (
    "得意先コード" INTEGER NOT NULL,
    "ＩＤ" INTEGER NOT NULL,
    "名称（漢字）" TEXT,
    "住所（漢字）" TEXT,
    "ＴＥＬ" TEXT,
    PRIMARY KEY ("得意先コード", "ＩＤ")
);

CREATE TABLE "浄化槽契約請求マスタ" (
    "得意先コード" INTEGER PRIMARY KEY,
    "契約区分" INTEGER,
    "自社管理契約期間（開始）" INTEGER,
    "自社管理契約期間（終了）" INTEGER
);

CREATE TABLE "浄化槽契約内訳マスタ" (
    "得意先コード" INTEGER NOT NULL,
    "ＩＤ" INTEGER NOT NULL,
    "作業コード" INTEGER,
    "年間金額" NUMERIC,
    "作業回数" INTEGER,
    "1回分の金額" NUMERIC,
    PRIMARY KEY ("得意先コード", "ＩＤ")
);

CREATE TABLE "浄化槽請求テーブル" (
    "得意先コード" INTEGER NOT NULL,
    "ＩＤ" INTEGER NOT NULL,
    "部門コード" INTEGER,
    "請求フラグ１" INTEGER,
    "請求フラグ２" INTEGER,
    "請求フラグ３" INTEGER,
    "請求フラグ４" INTEGER,
    "請求フラグ５" INTEGER,
    "請求フラグ６" INTEGER,
    "請求フラグ７" INTEGER,
    "請求フラグ８" INTEGER,
    "請求フラグ９" INTEGER,
    "請求フラグ１０" INTEGER,
    "請求フラグ１１" INTEGER,
    "請求フラグ１２" INTEGER,
    "請求金額１" NUMERIC,
    "請求金額２" NUMERIC,
    "請求金額３" NUMERIC,
    "請求金額４" NUMERIC,
    "請求金額５" NUMERIC,
    "請求金額６" NUMERIC,
    "請求金額７" NUMERIC,
    "請求金額８" NUMERIC,
    "請求金額９" NUMERIC,
    "請求金額１０" NUMERIC,
    "請求金額１１" NUMERIC,
    "請求金額１２" NUMERIC,
    PRIMARY KEY ("得意先コード", "ＩＤ")
);

-- OPTIONAL: 浄化槽請求展開テーブル
-- Only some installations have the department expansion of billing; the
-- export looks the table up by name.
CREATE TABLE "浄化槽請求展開テーブル" (
    "得意先コード" INTEGER NOT NULL,
    "部門コード" INTEGER NOT NULL,
    "金額" NUMERIC,
    PRIMARY KEY ("得意先コード", "部門コード")
);

-- JOURNAL: 浄化槽金額取込履歴, 浄化槽金額取込履歴明細
-- The import's journal, created by the import the first time it writes.
-- One entry per import or undo: when, by whom on which workstation, which
-- workbook (path and SHA-256 in hex), and per sheet the rows imported and
-- rejected (for an undo: the fields restored and the fields kept).
-- 取消対象番号 is set on an undo's entry (the entry it reverts), 取消番号
-- on an import's entry once it was undone (the undo's entry). 取込番号 is
-- the highest so far plus one, taken by the writer inside its transaction.
CREATE TABLE "浄化槽金額取込履歴" (
    "取込番号" INTEGER PRIMARY KEY,
    "取込日時" TEXT NOT NULL,
    "ユーザー名" TEXT,
    "コンピューター名" TEXT,
    "ファイル名" TEXT,
    "SHA256" TEXT,
    "契約内訳取込ＯＫ" INTEGER,
    "契約内訳取込ＮＧ" INTEGER,
    "請求情報取込ＯＫ" INTEGER,
    "請求情報取込ＮＧ" INTEGER,
    "取消対象番号" INTEGER,
    "取消番号" INTEGER
);

-- One line per record the entry changed, not per field: an import revises
-- about twenty amounts of every row, and a line per field made the journal
-- cost nearly as much as the import, and the undo read ten times the lines.
-- A line holds the record's table and key and its changed fields as three
-- lists in the same order, the items separated by tabs, so that a reader of
-- the table still sees which field went from what to what: 項目名 lists the
-- names, 変更前 the old values, 変更後 the new ones, 項目数 says how many.
-- Only fields whose value really changed are listed (1000 and 1000.0 are
-- the same value). Each value is a text that reads back as exactly what was
-- held: NULL for Null, a whole number as its sign and digits, a real whole
-- and below 2^53 in size as its digits and ".0", any other real as the
-- shortest text that reads back bit for bit with ".0" added when it has no
-- point, exponent or letter (0.1, -0.0, 1e+300), a text between double
-- quotes with backslash, tab, line feed and carriage return written as
-- \\ \t \n \r. Every column is typed, so the values stay texts on every
-- database engine.
CREATE TABLE "浄化槽金額取込履歴明細" (
    "取込番号" INTEGER NOT NULL,
    "行番号" INTEGER NOT NULL,
    "テーブル名" TEXT NOT NULL,
    "得意先コード" INTEGER NOT NULL,
    "ＩＤ" INTEGER NOT NULL,
    "項目数" INTEGER NOT NULL,
    "項目名" TEXT NOT NULL,
    "変更前" TEXT NOT NULL,
    "変更後" TEXT NOT NULL,
    PRIMARY KEY ("取込番号", "行番号")
);
