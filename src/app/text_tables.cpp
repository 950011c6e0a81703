#include "app/text_tables.h"

#include "params/instrument_types.h"

#include <array>

namespace veltra::app {

namespace {

constexpr TextRow mainTexts[] = {
    {"N8", "Выход", "Exit"},
    {"N13", "Связь", "Connect"},
    {"Mview", "Вид", "View"},
    {"Mhelp", "Справка", "Help"},
    {"Mabout", "О программе", "About"},
    {"N2", "Режим", "Mode"},
    {"N3", "Полный", "General"},
    {"N21", "Краткий", "Short"},
    {"LogReadings", "Журнал измерений", "Log readings"},
    {"ShowHistory", "История", "History"},
    {"TabSheet2", "Результаты измерения", "Measurement results"},
    {"TabSheet5", "Параметры", "Parameters"},
    {"TabSheet1", "Архив", "Archive"},
    {"Label12", "Мощность дозы,", "Dose rate,"},
    {"Label6", "Доза,", "Dose,"},
    {"Button5", "Очистить график", "Clear the graph"},
    {"Label33", "На график", "On the graph"},
    {"Label1", "Статус", "Status"},
    {"Label2", "Время работы", "Working time"},
    {"Label3", "Аккумулятор", "Battery"},
    {"Label5", "Измерений", "Measurements"},
    {"Label17", "Время набора дозы", "Dose accumulation time"},
    {"Label19", "Порог МЭД", "Threshold MED"},
    {"Label22", "Порог ЭД", "Threshold ED"},
    {"Label13", "Текущий порог МЭД", "Сurrent threshold MED"}, // Cyrillic С, as the system has it
    {"Label15", "Текущий порог ЭД", "Сurrent threshold ED"},   // Cyrillic С
    {"Label24", "Прозрачность краткой формы", "Short form transparency"},
    {"Button14", "Считать параметры", "Read parameters"},
    {"Button7", "Стереть архив", "Erase archive"},
    {"Button6", "Сохранить параметры", "Save parameters"},
    {"Button8", "Сбросить дозу", "Dose reset"},
    {"Button1", "Чтение архива", "Read archive"},
    {"CancelRead", "Отмена", "Cancel"},
    {"Label32", "Заполнение памяти", "Memory filling"},
    {"Label16", "Режим", "Mode"},
    {"Label18", "Звук", "Sound"},
    {"Label25", "Язык", "Language"},
    {"Label29", "Время подсветки", "Backlight time"},
    {"Label28", "Вид", "View"},
    {"Label26", "Подсветка", "Backlight"},
    {"Label23", "Сеанс", "Session"},
    {"CheckBox1", "Сохранить в файле", "Save to file"},
    {"CheckBox2", "Использовать BlueTooth", "Use BlueTooth"},
    {"CheckBox3", "Опрашивать постоянно", "Constantly poll"},
    {"Label8", "Период включения BlueTooth", "BlueTooth duty cicle"},
    {"Label9", "1 мин", "1 min"},
    {"Label10", "1 час", "1 hour"},
    {"Label14", "мин", "min"},
    {"CheckBox8", "Запись в архив", "Logging"},
    {"RadioButton2", "Каждое измерение", "Every measure"},
    {"RadioButton1", "Каждую минуту", "Every minute"},
    {"RadioButton3", "Каждый час", "Every hour"},
    {"CheckBox6", "При изменении более чем 30%", "If more than 30%"},
    {"CheckBox7", "При резком изменении", "At sharp change"},
};

constexpr GridHeading headings[] = {
    {"StringGrid3", 0, 0, "Время работы", "Working time"},
    {"StringGrid3", 0, 1, "Измерений", "Samples"},
    {"StringGrid3", 0, 2, "Максимум", "Maximum"},
    {"StringGrid3", 0, 3, "Минимум", "Minimum"},
    {"StringGrid3", 0, 4, "Среднее", "Average"},
    {"StringGrid8", 0, 0, "№", " #"},
    {"StringGrid8", 1, 0, "Время и дата", "Time and date"},
    {"StringGrid8", 2, 0, "МЭД", "Dose rate"},
    {"StringGrid1", 0, 0, "Порог МЭД", "Threshold MED"},
    {"StringGrid1", 1, 0, "Значение, мкЗв/ч", "Value,  uSv/h"},
    {"StringGrid1", 0, 1, "# 1", "# 1"},
    {"StringGrid1", 0, 2, "# 2", "# 2"},
    {"StringGrid1", 0, 3, "# 3", "# 3"},
    {"StringGrid4", 0, 0, "Порог ЭД", "Threshold ED"},
    {"StringGrid4", 1, 0, "Значение, мкЗв", "Value,  uSv"},
    {"StringGrid4", 0, 1, "# 1", "# 1"},
    {"StringGrid4", 0, 2, "# 2", "# 2"},
    {"StringGrid4", 0, 3, "# 3", "# 3"},
};

QStringList list(text::Language language, std::initializer_list<const char*> russian,
                 std::initializer_list<const char*> english) {
    QStringList items;
    for (const char* item : isEnglish(language) ? english : russian) {
        items << QString::fromUtf8(item);
    }
    return items;
}

} // namespace

std::span<const TextRow> mainWindowTexts() {
    return mainTexts;
}
std::span<const GridHeading> gridHeadings() {
    return headings;
}

QString chartTitle(text::Language language) {
    return isEnglish(language) ? QStringLiteral("Dose Rate, uSv/h") : QStringLiteral("МЭД, мкЗв/ч");
}

int mainValueUnitLeft(text::Language language) {
    return isEnglish(language) ? 153 : 192;
}

QStringList timeFormatItems(text::Language language) {
    return list(language, {" Время", " Дата", " Время и дата"}, {" Time", " Date", " Date & Time"});
}

QStringList soundItems(text::Language language) {
    return list(language, {"Выкл", "Вкл"}, {"Off", "On"});
}

QStringList deviceLanguageItems(text::Language language) {
    return list(language, {"Русский", "English"}, {"Русский", "English"});
}

QStringList displayViewItems(text::Language language) {
    // One order in both languages: the stored byte 0 is the short view whichever the user reads.
    return list(language, {"Кратко", "Подробно"}, {"Short", "Detailed"});
}

QStringList backlightColourItems(text::Language language) {
    return list(language, {"Выкл", "Зеленый", "Белый"}, {"Off", "Green", "White"});
}

std::optional<QString> modelCaption(int deviceType, text::Language language) {
    static constexpr std::array<std::pair<const char*, const char*>, 7> captions = {{
        {"ТР-401", "TR-401"},
        {"ТР-401", "TR-401"},
        {"ТР-402", "TR-402"},
        {"ТР-403", "TR-403"},
        {"ТР-404", "TR-404"},
        {"ТР-403", "TR-404"},
        {"ТР-301", "TR-301"},
    }};
    if (!params::knownDeviceType(deviceType)) {
        return std::nullopt;
    }
    const auto& [russian, english] = captions[static_cast<std::size_t>(deviceType - 1)];
    return QString::fromUtf8(isEnglish(language) ? english : russian);
}

QStringList modeItems(int deviceType, text::Language language) {
    switch (deviceType) {
    case 1:
        return list(language, {"МЭД подробно", "Доза", "МЭД кратко", "Графический", "Время"},
                    {"Dose rate, detailed", "Dose", "Dose rate, briefly", "Graphic", "Time"});
    case 3:
    case 4:
        return list(language, {"Мощность дозы", "Доза", "Поиск", "Графический", "Время"},
                    {"Dose rate", "Dose", "Search", "Graphic", "Time"});
    case 5:
    case 6:
        return list(language,
                    {"Мощность дозы", "Доза", "Бета", "Поиск", "Альфа", "Графический", "Время"},
                    {"Dose rate", "Dose", "Beta", "Search", "Alpha", "Graphic", "Time"});
    case 7:
        return list(
            language,
            {"Мощность дозы", "Доза", "Бета", "Поиск", "Альфа", "Объемная активность",
             "Графический"},
            {"Dose rate", "Dose", "Beta", "Search", "Alpha", "Volumetric Activity", "Graphic"});
    default:
        return {};
    }
}

QStringList backlightTimeItems(int deviceType, text::Language language) {
    switch (params::backlightListFor(deviceType, language)) {
    case params::BacklightList::shortList:
        return list(language, {"10 с", "1 мин", "3 мин"}, {"10 s", "1 min", "3 min"});
    case params::BacklightList::longList:
        return list(language, {"Выкл", "10 с", "1 мин", "3 мин"},
                    {"Off", "10 s", "1 min", "3 min"});
    case params::BacklightList::none:
        break;
    }
    return {};
}

} // namespace veltra::app
