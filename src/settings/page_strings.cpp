#include "settings/page_strings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "common/number_text.h"

namespace quendrel {

namespace {

const QString kPages = QStringLiteral("pages");
const QString kUrl = QStringLiteral("url");
const QString kStart = QStringLiteral("start");
const QString kEnd = QStringLiteral("end");

}  // namespace

std::optional<PageStrings> StringsForPage(const PageStringsMap& stored, const QString& url)
{
    const QString key = TrimSpaces(url);
    if (const auto found = stored.constFind(key); found != stored.constEnd())
        return *found;
    for (const WellKnownPage& page : kWellKnownPages) {
        if (key == QLatin1String(page.url))
            return PageStrings{QString::fromLatin1(page.start), QString::fromLatin1(page.end)};
    }
    return std::nullopt;
}

QByteArray FormatPageStrings(const PageStringsMap& strings)
{
    QJsonArray pages;
    for (auto page = strings.constBegin(); page != strings.constEnd(); ++page)
        pages.append(QJsonObject{{kUrl, page.key()}, {kStart, page->start}, {kEnd, page->end}});
    return QJsonDocument(QJsonObject{{kPages, pages}}).toJson(QJsonDocument::Indented);
}

std::optional<PageStringsMap> ParsePageStrings(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() || !document.object().value(kPages).isArray())
        return std::nullopt;
    PageStringsMap strings;
    for (const QJsonValue& entry : document.object().value(kPages).toArray()) {
        const QJsonObject page = entry.toObject();
        const QString url = TrimSpaces(page.value(kUrl).toString());
        if (!url.isEmpty())
            strings.insert(url, {page.value(kStart).toString(), page.value(kEnd).toString()});
    }
    return strings;
}

}  // namespace quendrel
