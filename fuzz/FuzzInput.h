// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <cstring>

/// Takes typed values off the front of a fuzzer's input; exhausted input gives zeros.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool empty() const { return m_size == 0; }

    uint8_t byte()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }

    template<typename T>
    T number()
    {
        T value{};
        const size_t n = std::min(sizeof(T), m_size);
        std::memcpy(&value, m_data, n);
        m_data += n;
        m_size -= n;
        return value;
    }

    /// Up to @p maxLength bytes (the length comes first), as UTF-8 text.
    QString text(size_t maxLength = 64)
    {
        const size_t n = std::min<size_t>(byte() % (maxLength + 1), m_size);
        const QString result = QString::fromUtf8(reinterpret_cast<const char *>(m_data), qsizetype(n));
        m_data += n;
        m_size -= n;
        return result;
    }

    QByteArray rest()
    {
        const QByteArray result(reinterpret_cast<const char *>(m_data), qsizetype(m_size));
        m_data += m_size;
        m_size = 0;
        return result;
    }

    /// A value of any kind a late-bound caller may pass as an index.
    QVariant variant()
    {
        switch (byte() % 8) {
        case 0:
            return QVariant(number<int32_t>());
        case 1:
            return QVariant(number<double>());
        case 2:
            return QVariant(text());
        case 3:
            return QVariant(bool(byte() & 1));
        case 4:
            return QVariant(qlonglong(number<int64_t>()));
        case 5:
            return QVariant(text().toUtf8());
        case 6:
            return QVariant(float(number<int16_t>()) / 4.0f);
        default:
            return QVariant();
        }
    }

private:
    const uint8_t *m_data;
    size_t m_size;
};
