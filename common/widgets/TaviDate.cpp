#include "TaviDate.h"

#include <QDate>
#include <QValidator>
#include <algorithm>
#include <array>
#include <optional>

namespace {

struct Era {
    const char* name;
    QChar letter;
    QDate start;
};

// Each era runs from its start to the day before the next one starts.
const std::array<Era, 5>& Eras() {
    static const std::array<Era, 5> eras = {{
        {"明治", u'M', QDate(1868, 10, 23)},
        {"大正", u'T', QDate(1912, 7, 30)},
        {"昭和", u'S', QDate(1926, 12, 25)},
        {"平成", u'H', QDate(1989, 1, 8)},
        {"令和", u'R', QDate(2019, 5, 1)},
    }};
    return eras;
}

QDate EraEnd(std::size_t era) {
    return era + 1 < Eras().size() ? Eras()[era + 1].start.addDays(-1) : QDate(9999, 12, 31);
}

int MaxEraYear(std::size_t era) {
    if (era + 1 == Eras().size())
        return 99;
    return EraEnd(era).year() - Eras()[era].start.year() + 1;
}

// The text split into its era (index, or none) and its digits.
struct Units {
    std::optional<std::size_t> era;
    QString digits;
};

std::optional<Units> Split(const QString& text, bool eraMode) {
    Units units;
    qsizetype i = 0;
    if (eraMode) {
        for (std::size_t e = 0; e < Eras().size(); ++e) {
            const QString name = QString::fromUtf8(Eras()[e].name);
            if (text.startsWith(name)) {
                units.era = e;
                i = name.size();
                break;
            }
            if (!text.isEmpty() && text[0].toUpper() == Eras()[e].letter) {
                units.era = e;
                i = 1;
                break;
            }
        }
    }
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) {
            units.digits += c;
        } else if (c != u'/') {
            return std::nullopt;
        }
    }
    return units;
}

int DigitsAt(const QString& digits, qsizetype from, qsizetype count) {
    return digits.mid(from, count).toInt();
}

// Checks what has been typed so far; `complete` tells whether a value is there.
bool Plausible(const Units& units, TaviDate::Kind kind, bool eraMode, bool& complete) {
    const QString& d = units.digits;
    const qsizetype yearDigits = eraMode ? 2 : 4;
    const qsizetype total = yearDigits + (kind == TaviDate::Kind::YearMonth ? 2 : 4);
    complete = false;
    if (d.size() > total)
        return false;
    if (eraMode && !units.era && !d.isEmpty())
        return false;
    if (d.size() >= yearDigits) {
        const int year = DigitsAt(d, 0, yearDigits);
        if (eraMode ? (year < 1 || year > MaxEraYear(*units.era)) : year < 1000)
            return false;
    }
    if (d.size() > yearDigits && d[yearDigits] > u'1')
        return false;
    if (d.size() >= yearDigits + 2) {
        const int month = DigitsAt(d, yearDigits, 2);
        if (month < 1 || month > 12)
            return false;
    }
    if (d.size() > yearDigits + 2 && d[yearDigits + 2] > u'3')
        return false;
    if (d.size() < total)
        return true;

    const int year =
        eraMode ? Eras()[*units.era].start.year() + DigitsAt(d, 0, 2) - 1 : DigitsAt(d, 0, 4);
    const int month = DigitsAt(d, yearDigits, 2);
    QDate first(year, month, 1);
    QDate last(year, month, first.daysInMonth());
    if (kind == TaviDate::Kind::FullDate) {
        const int day = DigitsAt(d, yearDigits + 2, 2);
        if (day < 1 || day > first.daysInMonth())
            return false;
        first = last = QDate(year, month, day);
    }
    if (eraMode && (last < Eras()[*units.era].start || first > EraEnd(*units.era)))
        return false;
    complete = true;
    return true;
}

QString Compose(const Units& units, TaviDate::Kind kind, bool eraMode) {
    QString out;
    if (units.era)
        out = QString::fromUtf8(Eras()[*units.era].name);
    const qsizetype yearDigits = eraMode ? 2 : 4;
    const QString& d = units.digits;
    out += d.left(yearDigits);
    if (d.size() > yearDigits)
        out += u'/' + d.mid(yearDigits, 2);
    if (kind == TaviDate::Kind::FullDate && d.size() > yearDigits + 2) {
        out += u'/' + d.mid(yearDigits + 2, 2);
    }
    return out;
}

class DateValidator : public QValidator {
  public:
    explicit DateValidator(TaviDate* owner) : QValidator(owner), owner_(owner) {}

    State validate(QString& input, int& pos) const override {
        const bool eraMode = owner_->calendarMode() != 0;
        auto units = Split(input, eraMode);
        if (!units)
            return Invalid;
        // Digits typed without an era belong to the present one.
        const bool impliedEra = eraMode && !units->era && !units->digits.isEmpty();
        if (impliedEra)
            units->era = Eras().size() - 1;
        bool complete = false;
        if (!Plausible(*units, owner_->kind(), eraMode, complete))
            return Invalid;
        // Keep the cursor behind the same era and digits after the slashes move.
        const auto before = Split(input.left(pos), eraMode);
        qsizetype unitsBefore = before ? (before->era ? 1 : 0) + before->digits.size() : 0;
        if (impliedEra && unitsBefore > 0)
            ++unitsBefore;
        input = Compose(*units, owner_->kind(), eraMode);
        qsizetype seen = 0;
        int newPos = 0;
        if (units->era && unitsBefore > 0) {
            newPos = 2;
            seen = 1;
        }
        for (qsizetype i = newPos; i < input.size() && seen < unitsBefore; ++i) {
            if (input[i] != u'/')
                ++seen;
            newPos = static_cast<int>(i + 1);
        }
        pos = newPos;
        if (units->digits.isEmpty() && !units->era)
            return Acceptable;
        return complete ? Acceptable : Intermediate;
    }

  private:
    TaviDate* owner_;
};

}  // namespace

TaviDate::TaviDate(Kind kind, QWidget* parent) : QLineEdit(parent), kind_(kind) {
    setValidator(new DateValidator(this));
    setMaxLength(kind == Kind::YearMonth ? 7 : 10);
}

void TaviDate::setCalendarMode(int mode) {
    const std::int32_t kept = value();
    calendarMode_ = mode;
    // Era texts are longer than the Western ones by the era name.
    setValue(kept);
}

std::int32_t TaviDate::value() const {
    return ParseValue(text(), kind_, calendarMode_);
}

void TaviDate::setValue(std::int32_t value) {
    setText(FormatValue(value, kind_, calendarMode_));
}

void TaviDate::SelectRange(int start, int length) {
    const int size = static_cast<int>(text().size());
    start = std::clamp(start, 0, size);
    setSelection(start, std::clamp(length, 0, size - start));
}

QString TaviDate::FormatValue(std::int32_t value, Kind kind, int calendarMode) {
    if (value <= 0)
        return {};
    const int year = kind == Kind::YearMonth ? value / 100 : value / 10000;
    const int month = kind == Kind::YearMonth ? value % 100 : value / 100 % 100;
    const int day = kind == Kind::YearMonth ? 1 : value % 100;
    const QDate date(year, month, day);
    if (!date.isValid() || year < 1000 || year > 9999)
        return {};
    Units units;
    const bool eraMode = calendarMode != 0;
    if (eraMode) {
        // A year-month belongs to the era of its first day.
        for (std::size_t e = Eras().size(); e-- > 0;) {
            if (date >= Eras()[e].start) {
                units.era = e;
                break;
            }
        }
        if (!units.era)
            return {};
        units.digits = QStringLiteral("%1").arg(year - Eras()[*units.era].start.year() + 1, 2, 10,
                                                QLatin1Char('0'));
    } else {
        units.digits = QString::number(year);
    }
    units.digits += QStringLiteral("%1").arg(month, 2, 10, QLatin1Char('0'));
    if (kind == Kind::FullDate)
        units.digits += QStringLiteral("%1").arg(day, 2, 10, QLatin1Char('0'));
    return Compose(units, kind, eraMode);
}

std::int32_t TaviDate::ParseValue(const QString& text, Kind kind, int calendarMode) {
    const bool eraMode = calendarMode != 0;
    const auto units = Split(text, eraMode);
    bool complete = false;
    if (!units || !Plausible(*units, kind, eraMode, complete) || !complete)
        return 0;
    const QString& d = units->digits;
    const int yearDigits = eraMode ? 2 : 4;
    const int year =
        eraMode ? Eras()[*units->era].start.year() + DigitsAt(d, 0, 2) - 1 : DigitsAt(d, 0, 4);
    std::int32_t value = year * 100 + DigitsAt(d, yearDigits, 2);
    if (kind == Kind::FullDate)
        value = value * 100 + DigitsAt(d, yearDigits + 2, 2);
    return value;
}
