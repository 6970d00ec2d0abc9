#include "frmDataInputCalls.h"

#include "forms.h"
#include "krverror.h"

#include <QMetaMethod>
#include <QMetaObject>
#include <QWidget>

#include <array>

namespace {

// Whether a value may go to a parameter of that type in the first, stricter pass: the same
// type, or one integer type for another (never a Boolean for a number).
bool TakesAsIs(const QVariant& value, const QMetaType& type)
{
    if (value.metaType() == type)
        return true;
    auto isInteger = [](int id) {
        switch (id) {
        case QMetaType::Int: case QMetaType::UInt: case QMetaType::Short: case QMetaType::UShort:
        case QMetaType::Long: case QMetaType::ULong: case QMetaType::LongLong: case QMetaType::ULongLong:
        case QMetaType::Char: case QMetaType::SChar: case QMetaType::UChar:
            return true;
        default:
            return false;
        }
    };
    return isInteger(value.metaType().id()) && isInteger(type.id());
}

}  // namespace

void DataInputCall(QObject* target, const char* method, const QVariantList& args)
{
    if (!target)
        throw KrvError(91, QStringLiteral("Object variable not set."));
    const QMetaObject* mo = target->metaObject();
    // First an overload that takes the values as they are, then one they convert to.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = mo->methodCount() - 1; i >= 0; --i) {
            const QMetaMethod m = mo->method(i);
            if (m.name() != method || m.parameterCount() != args.size() || args.size() > 10)
                continue;
            const QByteArrayList types = m.parameterTypes();
            QVariantList values = args;
            std::array<QGenericArgument, 10> a;
            bool ok = true;
            for (int k = 0; k < values.size() && ok; ++k) {
                QByteArray base = types[k];
                if (base.endsWith('&'))
                    base.chop(1);
                const QMetaType type = QMetaType::fromName(base);
                ok = type.isValid() && (pass == 1 || TakesAsIs(values[k], type)) && values[k].convert(type);
                a[k] = QGenericArgument(types[k].constData(), values[k].data());
            }
            if (!ok)
                continue;
            if (!QMetaObject::invokeMethod(target, method, Qt::DirectConnection, a[0], a[1], a[2], a[3], a[4], a[5],
                                           a[6], a[7], a[8], a[9]))
                continue;
            return;
        }
    }
    throw KrvError(438, QStringLiteral("The window %1 has no %2 with %3 arguments of these types.")
                            .arg(target->objectName(), QString::fromLatin1(method))
                            .arg(args.size()));
}

QWidget* DataInputOpenForm(const QString& formName, bool singleInstance, bool* created)
{
    if (created)
        *created = false;
    if (singleInstance)
        for (QWidget* w : LoadedForms())
            if (w->objectName().compare(formName, Qt::CaseInsensitive) == 0)
                return w;
    QWidget* w = CreateForm(formName);
    if (!w)
        throw KrvError(-1, QStringLiteral("The window %1 is not part of this program.").arg(formName));
    if (created)
        *created = true;
    return w;
}
