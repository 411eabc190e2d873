// SPDX-License-Identifier: MIT
#include "LateBinding.h"

#include "ExternalAppsPrivate.h"
#include "util/Raise.h"
#include "util/VariantOps.h"

#include <Lanyard/ExternalApps.h>

#include <QMetaEnum>
#include <QWidget>

#include <array>
#include <new>

using namespace Qt::StringLiterals;

namespace Lanyard {

namespace {

enum class Kind { Get, Let, Call };

using Args = QVariantList;
using Handler = QVariant (*)(ExternalApps &, const Args &);

/// One member of the late-bound interface. A let's value is its last argument.
struct Member
{
    const char16_t *name;
    Kind kind;
    int minArgs;
    int maxArgs;
    Handler call;
};

qint16 int16(const Args &a, int i) { return VariantOps::toInt16(a.at(i)); }
QString text(const Args &a, int i) { return VariantOps::toText(a.at(i)); }
bool boolean(const Args &a, int i) { return VariantOps::toBool(a.at(i)); }
QVariant optional(const Args &a, int i) { return i < a.size() ? a.at(i) : QVariant(); }
QVariant none() { return QVariant(); }
QVariant short16(qint16 value) { return QVariant::fromValue(value); }

/// A Language by its number or its name ("lGerman").
Language language(const Args &a, int i)
{
    if (!VariantOps::holdsName(a.at(i)))
        return static_cast<Language>(VariantOps::toInt32(a.at(i)));
    bool known = false;
    const int value = QMetaEnum::fromType<Language>().keyToValue(VariantOps::toText(a.at(i)).toUtf8().constData(),
                                                                 &known);
    if (!known)
        raiseError(ErrorCode::TypeMismatch, u"no language is named \""_s + VariantOps::toText(a.at(i)) + u'"');
    return static_cast<Language>(value);
}

/// The input of a run: bytes as they are, any other value as its text in UTF-8.
QByteArray bytes(const QVariant &value)
{
    if (!value.isValid())
        return QByteArray();
    if (value.metaType().id() == QMetaType::QByteArray)
        return value.toByteArray();
    return VariantOps::toText(value).toUtf8();
}

/// Where a run's input comes from, by its number or its name ("HostStandardInput"); Bytes
/// when left off.
ToolRun::Input inputFrom(const Args &a, int i)
{
    if (i >= a.size())
        return ToolRun::Input::Bytes;
    const QMetaEnum inputs = QMetaEnum::fromType<ToolRun::Input>();
    int value = 0;
    bool known = true;
    if (VariantOps::holdsName(a.at(i)))
        value = inputs.keyToValue(VariantOps::toText(a.at(i)).toUtf8().constData(), &known);
    else
        value = VariantOps::toInt32(a.at(i));
    if (!known || !inputs.valueToKey(value))
        raiseError(ErrorCode::InvalidArgument, u"no input is named \""_s + VariantOps::toText(a.at(i)) + u'"');
    return static_cast<ToolRun::Input>(value);
}

QVariant launchCommand(const Result<LaunchCommand> &result)
{
    const LaunchCommand &command = result.value();
    return QVariantMap{{u"program"_s, command.program},
                       {u"arguments"_s, command.arguments},
                       {u"folder"_s, command.folder}};
}

QWidget *ownerWidget(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return nullptr;
    if (!value.canConvert<QObject *>())
        raiseError(ErrorCode::TypeMismatch);
    QObject *object = value.value<QObject *>();
    QWidget *widget = qobject_cast<QWidget *>(object);
    if (object && !widget)
        raiseError(ErrorCode::TypeMismatch);
    return widget;
}

// In the order of the interface.
const std::array<Member, 37> members{{
    {u"MaxGroups", Kind::Get, 0, 0, [](ExternalApps &o, const Args &) { return short16(o.MaxGroups()); }},
    {u"MaxGroups", Kind::Let, 1, 1,
     [](ExternalApps &o, const Args &a) {
         o.setMaxGroups(int16(a, 0));
         return none();
     }},
    {u"MaxApps", Kind::Get, 0, 0, [](ExternalApps &o, const Args &) { return short16(o.MaxApps()); }},
    {u"MaxApps", Kind::Let, 1, 1,
     [](ExternalApps &o, const Args &a) {
         o.setMaxApps(int16(a, 0));
         return none();
     }},
    {u"EXTFile", Kind::Get, 0, 0, [](ExternalApps &o, const Args &) { return QVariant(o.EXTFile()); }},
    {u"EXTFile", Kind::Let, 1, 1,
     [](ExternalApps &o, const Args &a) {
         o.setEXTFile(text(a, 0));
         return none();
     }},
    {u"GroupCount", Kind::Get, 0, 0, [](ExternalApps &o, const Args &) { return short16(o.GroupCount()); }},
    {u"AppCount", Kind::Get, 1, 1, [](ExternalApps &o, const Args &a) { return short16(o.AppCount(a.at(0))); }},
    {u"GroupName", Kind::Get, 1, 1, [](ExternalApps &o, const Args &a) { return QVariant(o.GroupName(int16(a, 0))); }},
    {u"GroupName", Kind::Let, 2, 2,
     [](ExternalApps &o, const Args &a) {
         o.setGroupName(int16(a, 0), text(a, 1));
         return none();
     }},
    {u"ApplicationName", Kind::Get, 2, 2,
     [](ExternalApps &o, const Args &a) { return QVariant(o.ApplicationName(a.at(0), int16(a, 1))); }},
    {u"ApplicationName", Kind::Let, 3, 3,
     [](ExternalApps &o, const Args &a) {
         o.setApplicationName(a.at(0), int16(a, 1), text(a, 2));
         return none();
     }},
    {u"Icon", Kind::Get, 2, 2,
     [](ExternalApps &o, const Args &a) { return QVariant::fromValue(o.Icon(a.at(0), int16(a, 1))); }},
    {u"AppPath", Kind::Get, 2, 2, [](ExternalApps &o, const Args &a) { return QVariant(o.AppPath(a.at(0), a.at(1))); }},
    {u"AppPath", Kind::Let, 3, 3,
     [](ExternalApps &o, const Args &a) {
         o.setAppPath(a.at(0), a.at(1), text(a, 2));
         return none();
     }},
    {u"AppProtected", Kind::Get, 2, 2,
     [](ExternalApps &o, const Args &a) { return QVariant(o.AppProtected(a.at(0), a.at(1)) != 0); }},
    {u"AppProtected", Kind::Let, 3, 3,
     [](ExternalApps &o, const Args &a) {
         o.setAppProtected(a.at(0), a.at(1), boolean(a, 2));
         return none();
     }},
    {u"CmdLine", Kind::Get, 2, 2, [](ExternalApps &o, const Args &a) { return QVariant(o.CmdLine(a.at(0), a.at(1))); }},
    {u"CmdLine", Kind::Let, 3, 3,
     [](ExternalApps &o, const Args &a) {
         o.setCmdLine(a.at(0), a.at(1), text(a, 2));
         return none();
     }},
    {u"PlaceholderCount", Kind::Get, 0, 0, [](ExternalApps &o, const Args &) { return short16(o.PlaceholderCount()); }},
    {u"SearchString", Kind::Get, 1, 1,
     [](ExternalApps &o, const Args &a) { return QVariant(o.SearchString(int16(a, 0))); }},
    {u"ReplaceString", Kind::Get, 1, 1,
     [](ExternalApps &o, const Args &a) { return QVariant(o.ReplaceString(a.at(0))); }},
    {u"Language", Kind::Get, 0, 0, [](ExternalApps &o, const Args &) { return QVariant(int(o.Language())); }},
    {u"Language", Kind::Let, 1, 1,
     [](ExternalApps &o, const Args &a) {
         o.setLanguage(language(a, 0));
         return none();
     }},
    {u"AddApp", Kind::Call, 5, 5,
     [](ExternalApps &o, const Args &a) {
         return QVariant(o.AddApp(text(a, 0), text(a, 1), text(a, 2), text(a, 3), boolean(a, 4)));
     }},
    {u"DeleteApp", Kind::Call, 2, 2,
     [](ExternalApps &o, const Args &a) {
         o.DeleteApp(a.at(0), a.at(1));
         return none();
     }},
    {u"EditApp", Kind::Call, 5, 7,
     [](ExternalApps &o, const Args &a) {
         o.EditApp(text(a, 0), text(a, 1), text(a, 2), text(a, 3), boolean(a, 4), optional(a, 5), optional(a, 6));
         return none();
     }},
    {u"AddPlaceHolder", Kind::Call, 2, 2,
     [](ExternalApps &o, const Args &a) {
         o.AddPlaceHolder(text(a, 0), text(a, 1));
         return none();
     }},
    {u"ExecuteApp", Kind::Call, 2, 2,
     [](ExternalApps &o, const Args &a) { return QVariant(o.ExecuteApp(text(a, 0), text(a, 1))); }},
    {u"ShowForm", Kind::Call, 0, 2,
     [](ExternalApps &o, const Args &a) {
         const QVariant modal = optional(a, 0);
         o.ShowForm(modal.isValid() ? VariantOps::toInt32(modal) : 0, ownerWidget(optional(a, 1)));
         return none();
     }},
    {u"HideForm", Kind::Call, 0, 0,
     [](ExternalApps &o, const Args &) {
         o.HideForm();
         return none();
     }},
    // Beyond the interface's 31: whether ExecuteApp shows a missing program itself, the save
    // that the release does, on demand, the icon as a URL, the preview of a launch, and the run
    // that talks back.
    {u"showMissingProgram", Kind::Get, 0, 0,
     [](ExternalApps &o, const Args &) { return QVariant(o.showMissingProgram()); }},
    {u"showMissingProgram", Kind::Let, 1, 1,
     [](ExternalApps &o, const Args &a) {
         o.setShowMissingProgram(boolean(a, 0));
         return none();
     }},
    {u"save", Kind::Call, 0, 0, [](ExternalApps &o, const Args &) { return QVariant(o.save()); }},
    {u"iconUrl", Kind::Call, 2, 2,
     [](ExternalApps &o, const Args &a) { return QVariant(o.iconUrl(a.at(0), int16(a, 1))); }},
    {u"launchCommand", Kind::Call, 2, 2,
     [](ExternalApps &o, const Args &a) { return launchCommand(o.launchCommand(text(a, 0), text(a, 1))); }},
    {u"startTool", Kind::Call, 2, 4,
     [](ExternalApps &o, const Args &a) {
         return QVariant::fromValue(o.startTool(text(a, 0), text(a, 1), bytes(optional(a, 2)), inputFrom(a, 3)));
     }},
}};

std::optional<Kind> parseKind(const QString &kind)
{
    if (kind.compare(u"get", Qt::CaseInsensitive) == 0)
        return Kind::Get;
    if (kind.compare(u"let", Qt::CaseInsensitive) == 0)
        return Kind::Let;
    if (kind.compare(u"call", Qt::CaseInsensitive) == 0)
        return Kind::Call;
    return std::nullopt;
}

const Member *findMember(const QString &name, Kind kind)
{
    for (const Member &member : members) {
        if (member.kind == kind && name.compare(QStringView(member.name), Qt::CaseInsensitive) == 0)
            return &member;
    }
    return nullptr;
}

QVariantMap result(const QVariant &value, int error = 0, const QString &description = QString(),
                   const QString &detail = QString())
{
    return {{QStringLiteral("value"), value},
            {QStringLiteral("error"), error},
            {QStringLiteral("description"), description},
            {QStringLiteral("detail"), detail}};
}

QVariantMap failure(const ComponentError &error)
{
    return result(QVariant(), error.number(), error.description(), error.detail());
}

} // namespace

QList<LateBinding::Row> LateBinding::rows()
{
    QList<Row> rows;
    for (const Member &member : members) {
        static const QString kinds[] = {u"get"_s, u"let"_s, u"call"_s};
        rows.append({QStringView(member.name).toString(), kinds[int(member.kind)], member.minArgs, member.maxArgs});
    }
    return rows;
}

QVariantMap LateBinding::invoke(ExternalApps &apps, const QString &member, const QString &kind,
                                const QVariantList &arguments)
{
    const std::optional<Kind> parsed = parseKind(kind);
    const Member *target = parsed ? findMember(member, *parsed) : nullptr;
    if (!target)
        return failure(ComponentError(ErrorCode::MemberNotFound));
    if (arguments.size() < target->minArgs || arguments.size() > target->maxArgs)
        return failure(ComponentError(ErrorCode::WrongArgumentCount));
    try {
        return result(target->call(apps, arguments));
    } catch (const ComponentError &error) {
        return failure(error);
    } catch (const std::bad_alloc &) {
        return failure(ComponentError(ErrorCode::OutOfMemory));
    }
}

} // namespace Lanyard
