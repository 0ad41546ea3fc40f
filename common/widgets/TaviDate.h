#pragma once
// Year-month ("yyyy/mm") or full-date ("yyyy/mm/dd") input. The numeric value
// is yyyymm or yyyymmdd whatever the calendar mode, 0 when empty or
// incomplete. Calendar mode 0 shows Western years; any other mode shows
// Japanese era years (明治, 大正, 昭和, 平成, 令和), typed as the era's initial
// letter (M, T, S, H, R) or its name followed by the two-digit era year.
// Months and days that cannot exist are refused as they are typed.

#include <QLineEdit>
#include <QString>
#include <cstdint>

class TaviDate : public QLineEdit {
    Q_OBJECT
  public:
    enum class Kind { YearMonth, FullDate };

    explicit TaviDate(Kind kind = Kind::YearMonth, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    int calendarMode() const { return calendarMode_; }
    // Keeps the value and shows it in the new mode.
    void setCalendarMode(int mode);

    std::int32_t value() const;
    // 0 empties the input; a value the input cannot show empties it too.
    void setValue(std::int32_t value);
    void SelectRange(int start, int length);

    // Text of a value in a kind and mode ("" for 0 or a value that cannot be shown).
    static QString FormatValue(std::int32_t value, Kind kind, int calendarMode);
    // Value of a complete text, 0 otherwise.
    static std::int32_t ParseValue(const QString& text, Kind kind, int calendarMode);

  private:
    Kind kind_;
    int calendarMode_ = 0;
};
