#include "base/Archive.h"

#include <cstring>

namespace {

constexpr std::uint16_t kNullTag = 0x0000;
constexpr std::uint16_t kNewClassTag = 0xFFFF;
constexpr std::uint16_t kClassTag = 0x8000;
constexpr std::uint16_t kBigObjectTag = 0x7FFF;
constexpr std::uint32_t kBigClassTag = 0x80000000u;
constexpr std::uint32_t kMaxMapCount = 0x3FFFFFFEu;
// The longest class name we accept; the scheme limits it well below this.
constexpr std::uint16_t kMaxClassName = 64;

template <typename T> void PutLE(std::vector<std::uint8_t>& out, T v) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

} // namespace

CArchive::CArchive(std::vector<std::uint8_t>* pOut) : m_pOut(pOut) {}

CArchive::CArchive(const std::uint8_t* data, std::size_t size) : m_pIn(data), m_nSize(size) {}

CArchive::CArchive(const std::vector<std::uint8_t>& in) : CArchive(in.data(), in.size()) {}

void CArchive::Need(std::size_t size) const {
    if (IsStoring()) {
        throw CArchiveException(CArchiveException::badIndex, "archive is storing");
    }
    if (size > m_nSize - m_nPos) {
        throw CArchiveException(CArchiveException::endOfFile, "unexpected end of archive");
    }
}

std::vector<std::uint8_t>& CArchive::Out() {
    if (!IsStoring()) {
        throw CArchiveException(CArchiveException::badIndex, "archive is loading");
    }
    return *m_pOut;
}

void CArchive::Write(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    Out().insert(m_pOut->end(), p, p + size);
}

void CArchive::Read(void* data, std::size_t size) {
    Need(size);
    if (size) {
        std::memcpy(data, m_pIn + m_nPos, size);
    }
    m_nPos += size;
}

CArchive& CArchive::operator<<(std::uint8_t v) {
    Write(&v, 1);
    return *this;
}
CArchive& CArchive::operator<<(std::uint16_t v) {
    PutLE(Out(), v);
    return *this;
}
CArchive& CArchive::operator<<(std::int16_t v) {
    return *this << static_cast<std::uint16_t>(v);
}
CArchive& CArchive::operator<<(std::uint32_t v) {
    PutLE(Out(), v);
    return *this;
}
CArchive& CArchive::operator<<(std::int32_t v) {
    return *this << static_cast<std::uint32_t>(v);
}
CArchive& CArchive::operator<<(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return *this << bits;
}
CArchive& CArchive::operator<<(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    PutLE(Out(), bits);
    return *this;
}

CArchive& CArchive::operator>>(std::uint8_t& v) {
    Need(1);
    v = m_pIn[m_nPos++];
    return *this;
}
CArchive& CArchive::operator>>(std::uint16_t& v) {
    Need(2);
    v = static_cast<std::uint16_t>(m_pIn[m_nPos] | (m_pIn[m_nPos + 1] << 8));
    m_nPos += 2;
    return *this;
}
CArchive& CArchive::operator>>(std::int16_t& v) {
    std::uint16_t u;
    *this >> u;
    v = static_cast<std::int16_t>(u);
    return *this;
}
CArchive& CArchive::operator>>(std::uint32_t& v) {
    Need(4);
    v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | m_pIn[m_nPos + static_cast<std::size_t>(i)];
    }
    m_nPos += 4;
    return *this;
}
CArchive& CArchive::operator>>(std::int32_t& v) {
    std::uint32_t u;
    *this >> u;
    v = static_cast<std::int32_t>(u);
    return *this;
}
CArchive& CArchive::operator>>(float& v) {
    std::uint32_t bits;
    *this >> bits;
    std::memcpy(&v, &bits, 4);
    return *this;
}
CArchive& CArchive::operator>>(double& v) {
    Need(8);
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | m_pIn[m_nPos + static_cast<std::size_t>(i)];
    }
    m_nPos += 8;
    std::memcpy(&v, &bits, 8);
    return *this;
}

void CArchive::WriteString(const std::string& text) {
    const std::size_t n = text.size();
    if (n < 0xFF) {
        *this << static_cast<std::uint8_t>(n);
    } else if (n < 0xFFFE) {
        *this << static_cast<std::uint8_t>(0xFF) << static_cast<std::uint16_t>(n);
    } else {
        if (n > 0xFFFFFFFFu) {
            throw CArchiveException(CArchiveException::badString, "text too long to store");
        }
        *this << static_cast<std::uint8_t>(0xFF) << static_cast<std::uint16_t>(0xFFFF)
              << static_cast<std::uint32_t>(n);
    }
    Write(text.data(), n);
}

std::string CArchive::ReadString() {
    std::uint8_t b;
    *this >> b;
    std::uint32_t n = b;
    if (b == 0xFF) {
        std::uint16_t w;
        *this >> w;
        n = w;
        if (w == 0xFFFE) {
            // A prefix announcing wide characters; never written by this system.
            throw CArchiveException(CArchiveException::badString, "wide-character text");
        }
        if (w == 0xFFFF) {
            *this >> n;
        }
    }
    // Checked before allocating, so a damaged prefix cannot ask for gigabytes.
    Need(n);
    std::string text(reinterpret_cast<const char*>(m_pIn + m_nPos), n);
    m_nPos += n;
    return text;
}

void CArchive::WriteObjectTag(const std::string& strClass, std::uint16_t nSchema) {
    for (const auto& [index, name] : m_classes) {
        if (name == strClass) {
            if (index < kBigObjectTag) {
                *this << static_cast<std::uint16_t>(kClassTag | index);
            } else {
                *this << kBigObjectTag << (kBigClassTag | index);
            }
            ++m_nMapCount;
            return;
        }
    }
    if (strClass.size() > kMaxClassName) {
        throw CArchiveException(CArchiveException::badClass, "class name too long");
    }
    *this << kNewClassTag << nSchema << static_cast<std::uint16_t>(strClass.size());
    Write(strClass.data(), strClass.size());
    m_classes.emplace_back(m_nMapCount++, strClass);
    ++m_nMapCount; // the object itself
}

CArchive::ObjectTag CArchive::ReadObjectTag() {
    ObjectTag tag;
    std::uint16_t w;
    *this >> w;
    std::uint32_t classIndex = 0;
    if (w == kNullTag) {
        return tag;
    }
    if (w == kNewClassTag) {
        std::uint16_t schema, len;
        *this >> schema >> len;
        if (len == 0 || len > kMaxClassName) {
            throw CArchiveException(CArchiveException::badClass, "bad class name length");
        }
        Need(len);
        std::string name(reinterpret_cast<const char*>(m_pIn + m_nPos), len);
        m_nPos += len;
        if (m_nMapCount >= kMaxMapCount) {
            throw CArchiveException(CArchiveException::badIndex, "too many objects");
        }
        m_classes.emplace_back(m_nMapCount, name);
        m_schemas.emplace_back(m_nMapCount, schema);
        ++m_nMapCount;
        tag.kind = ObjectTag::newObject;
        tag.strClass = name;
        tag.nSchema = schema;
        tag.nIndex = m_nMapCount++;
        return tag;
    }
    std::uint32_t value = w;
    bool isClass = (w & kClassTag) != 0;
    if (w == kBigObjectTag) {
        *this >> value;
        isClass = (value & kBigClassTag) != 0;
        value &= ~kBigClassTag;
    } else {
        value &= ~static_cast<std::uint32_t>(kClassTag);
    }
    if (!isClass) {
        if (value == 0 || value >= m_nMapCount) {
            throw CArchiveException(CArchiveException::badIndex, "reference to unknown object");
        }
        for (const auto& entry : m_classes) {
            if (entry.first == value) {
                throw CArchiveException(CArchiveException::badIndex, "reference to a class");
            }
        }
        tag.kind = ObjectTag::reference;
        tag.nIndex = value;
        return tag;
    }
    classIndex = value;
    for (std::size_t i = 0; i < m_classes.size(); ++i) {
        if (m_classes[i].first == classIndex) {
            if (m_nMapCount >= kMaxMapCount) {
                throw CArchiveException(CArchiveException::badIndex, "too many objects");
            }
            tag.kind = ObjectTag::newObject;
            tag.strClass = m_classes[i].second;
            tag.nSchema = m_schemas[i].second;
            tag.nIndex = m_nMapCount++;
            return tag;
        }
    }
    throw CArchiveException(CArchiveException::badClass, "reference to unknown class");
}
