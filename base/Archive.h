#pragma once

#include "base/ArchiveException.h"
#include "base/Export.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Little-endian binary archive over memory: storing appends to a byte vector, loading reads
// from a byte range. Texts are stored in the 8-bit code page with a length prefix; objects are
// introduced by the class and object tags of the object-archive scheme. Every read past the end
// or of an inconsistent tag throws CArchiveException.
class LINTARO_API CArchive {
public:
    // One object tag as read from the archive.
    struct ObjectTag {
        enum Kind { nullObject, newObject, reference };
        Kind kind = nullObject;
        std::string strClass;      // class of a new object
        std::uint16_t nSchema = 0; // schema number stored with the class
        std::uint32_t nIndex = 0;  // the new object's index, or the index referred to
    };

    explicit CArchive(std::vector<std::uint8_t>* pOut);     // storing: appends to *pOut
    CArchive(const std::uint8_t* data, std::size_t size);   // loading
    explicit CArchive(const std::vector<std::uint8_t>& in); // loading

    bool IsStoring() const { return m_pOut != nullptr; }
    bool IsLoading() const { return m_pOut == nullptr; }
    std::size_t Remaining() const { return m_nSize - m_nPos; }
    std::size_t Position() const { return IsStoring() ? m_pOut->size() : m_nPos; }

    void Write(const void* data, std::size_t size);
    void Read(void* data, std::size_t size);

    CArchive& operator<<(std::uint8_t v);
    CArchive& operator<<(std::uint16_t v);
    CArchive& operator<<(std::int16_t v);
    CArchive& operator<<(std::uint32_t v);
    CArchive& operator<<(std::int32_t v);
    CArchive& operator<<(float v);
    CArchive& operator<<(double v);
    CArchive& operator<<(const std::string& text) {
        WriteString(text);
        return *this;
    }

    CArchive& operator>>(std::uint8_t& v);
    CArchive& operator>>(std::uint16_t& v);
    CArchive& operator>>(std::int16_t& v);
    CArchive& operator>>(std::uint32_t& v);
    CArchive& operator>>(std::int32_t& v);
    CArchive& operator>>(float& v);
    CArchive& operator>>(double& v);
    CArchive& operator>>(std::string& text) {
        text = ReadString();
        return *this;
    }

    // Text already in the 8-bit code page: one length byte below 255, else 0xFF and a 16-bit
    // length below 0xFFFE, else 0xFF 0xFFFF and a 32-bit length; then the bytes.
    void WriteString(const std::string& text);
    std::string ReadString();

    // Introduces a new object of the named class: the first object of a class carries the
    // new-class tag and the class description, later ones a reference to the class.
    void WriteObjectTag(const std::string& strClass, std::uint16_t nSchema);
    ObjectTag ReadObjectTag();

private:
    void Need(std::size_t size) const;
    std::vector<std::uint8_t>& Out();

    std::vector<std::uint8_t>* m_pOut = nullptr;
    const std::uint8_t* m_pIn = nullptr;
    std::size_t m_nSize = 0;
    std::size_t m_nPos = 0;
    // Index 0 is the null object; classes and objects share one running index.
    std::uint32_t m_nMapCount = 1;
    std::vector<std::pair<std::uint32_t, std::string>> m_classes; // index, name
    std::vector<std::pair<std::uint32_t, std::uint16_t>> m_schemas;
};
