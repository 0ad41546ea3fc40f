#pragma once
// A septic-tank installation for window tests: a temporary per-user registry
// store naming SQLite databases built from the project's schema.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Database.h"
#include "SampleData.h"
#include "Schema.h"

struct TestDepartment {
    std::int32_t code;
    std::string name;
    int billingKind;  // 請求データ作成区分
};

struct TestDatabaseSettings {
    int calendarMode = 0;
    std::int32_t cleaningDept = 0;
    std::int32_t inspectionDept = 0;
    bool controlRow = true;  // a row with コード 1
};

inline std::vector<TestDepartment> StandardDepartments() {
    return {{1, "浄化槽", 1}, {2, "管理", 1},        {3, "清掃", 2},        {4, "修理", 0},
            {5, "総務", 0},   {12, "ぱるも清掃", 1}, {13, "ぱるも点検", 0}, {123, "特別", 1}};
}

class TestInstallation {
  public:
    TestInstallation() {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().toUtf8().constData(), 1);
        // The instance lock lives in the runtime folder; keep it private to the test.
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        hadRuntime_ = runtime != nullptr;
        if (hadRuntime_)
            oldRuntime_ = runtime;
        setenv("XDG_RUNTIME_DIR", dir_.path().toUtf8().constData(), 1);
        // Default output paths (desktop, else home) must land in the test's folder.
        const char* home = std::getenv("HOME");
        hadHome_ = home != nullptr;
        if (hadHome_)
            oldHome_ = home;
        setenv("HOME", dir_.path().toUtf8().constData(), 1);
    }
    ~TestInstallation() {
        if (hadOld_) {
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        if (hadHome_) {
            setenv("HOME", oldHome_.c_str(), 1);
        } else {
            unsetenv("HOME");
        }
        if (hadRuntime_) {
            setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
    }
    TestInstallation(const TestInstallation&) = delete;
    TestInstallation& operator=(const TestInstallation&) = delete;

    std::string path(const std::string& name) const {
        return dir_.filePath(QString::fromStdString(name)).toStdString();
    }

    // Creates a database file and names it in the store under a new subkey.
    std::string addDatabase(
        const std::string& userName, const TestDatabaseSettings& settings,
        const std::vector<TestDepartment>& departments = StandardDepartments()) {
        const std::string file = path("db" + std::to_string(entries_.size() + 1) + ".sqlite");
        CreateEmptyDatabase(file, false);
        {
            Database db(file, false);
            if (settings.controlRow) {
                db.execute("INSERT INTO コントロールマスタ VALUES (1, " +
                           std::to_string(settings.calendarMode) + ", " +
                           std::to_string(settings.cleaningDept) + ", " +
                           std::to_string(settings.inspectionDept) + ")");
            } else {
                db.execute("INSERT INTO コントロールマスタ VALUES (2, 0, 0, 0)");
            }
            for (const auto& d : departments) {
                db.execute("INSERT INTO 部門マスタ VALUES (" + std::to_string(d.code) + ", '" +
                           d.name + "', " + std::to_string(d.billingKind) + ")");
            }
        }
        entries_.push_back({userName, file});
        writeStore();
        return file;
    }

    // A database from the sample generator (control master: era calendar,
    // sibling departments 11 and 12).
    std::string addSampleDatabase(const std::string& userName, int customers) {
        const std::string file = path("sample" + std::to_string(entries_.size() + 1) + ".sqlite");
        SampleOptions options;
        options.customers = customers;
        CreateSampleDatabase(file, options);
        entries_.push_back({userName, file});
        writeStore();
        return file;
    }

    void writeStore() const {
        QDir(dir_.path()).mkpath(QStringLiteral("Tavi"));
        std::ofstream out(path("Tavi/HKEY_CURRENT_USER.reg"), std::ios::binary);
        out << "Windows Registry Editor Version 5.00\r\n\r\n";
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            out << "[HKEY_CURRENT_USER\\Software\\Tavi\\Project\\Package\\Septictank" << i + 1
                << "]\r\n";
            out << "\"DataBaseName\"=\"" << entries_[i].file << "\"\r\n";
            out << "\"DataBaseMode\"=\"0\"\r\n";
            out << "\"UserName\"=\"" << entries_[i].userName << "\"\r\n\r\n";
        }
    }

  private:
    struct Entry {
        std::string userName;
        std::string file;
    };
    QTemporaryDir dir_;
    std::vector<Entry> entries_;
    bool hadOld_ = false;
    std::string old_;
    bool hadHome_ = false;
    std::string oldHome_;
    bool hadRuntime_ = false;
    std::string oldRuntime_;
};

// Counts the paint events of each widget of a window while it lives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    PaintCounter(const PaintCounter&) = delete;
    PaintCounter& operator=(const PaintCounter&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == window_) {
            ++paints_[watched];
        }
        return false;
    }
    // Paints of `widget`; of the window itself, every repaint of the whole window.
    long of(const QWidget* widget) const {
        const auto it = paints_.find(widget);
        return it == paints_.end() ? 0 : it->second;
    }

  private:
    QWidget* window_;
    std::map<const QObject*, long> paints_;
};

// Shows a window and makes it the active one, so that keys and focus behave as on a desktop.
inline bool ShowActive(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Gives an input the focus as a click would.
inline void ClickFocus(QWidget* input) {
    input->setFocus(Qt::MouseFocusReason);
    QApplication::processEvents();
}

// Every visible label and button shows its whole text and every visible child
// lies inside the window: the layout did not squeeze anything.
inline std::vector<std::string> LayoutProblems(QWidget& window) {
    std::vector<std::string> problems;
    const QRect inside = window.rect();
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (!child->isVisible() || child->isWindow())
            continue;
        const QRect area(child->mapTo(&window, QPoint(0, 0)), child->size());
        if (!inside.contains(area)) {
            problems.push_back(child->objectName().toStdString() + " outside the window");
        }
        int needed = 0;
        if (auto* label = qobject_cast<QLabel*>(child))
            needed = label->minimumSizeHint().width();
        if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            needed = button->fontMetrics().horizontalAdvance(button->text()) + 8;
        }
        if (child->width() < needed) {
            problems.push_back(child->objectName().toStdString() + " narrower than its text");
        }
    }
    return problems;
}

// The window as a PNG: into docs/ when VELKAN_WRITE_SCREENSHOTS is set, else
// into `fallbackDir`. Returns the file written ("" on failure).
inline QString SaveScreenshot(QWidget& window, const QString& name, const QString& fallbackDir) {
    const bool toDocs = std::getenv("VELKAN_WRITE_SCREENSHOTS") != nullptr;
    const QString dir = toDocs ? QStringLiteral(VELKAN_SOURCE_DIR "/docs") : fallbackDir;
    QDir().mkpath(dir);
    const QString file = dir + QLatin1Char('/') + name;
    QApplication::processEvents();
    return window.grab().save(file, "PNG") ? file : QString();
}
