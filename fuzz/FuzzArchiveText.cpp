// Archive texts and object tags, and the code-page conversions of the texts.
#include "FuzzSupport.h"

#include "base/Archive.h"
#include "base/CodePage.h"

#include <algorithm>
#include <vector>

namespace {

void Texts(const std::uint8_t* data, std::size_t size) {
    CArchive ar(data, size);
    CFuzzReader own(data, size);
    for (;;) {
        std::string text;
        bool read = true;
        try {
            text = ar.ReadString();
        } catch (const CArchiveException&) {
            read = false;
        }
        std::string expected;
        const bool ownRead = own.Text(expected);
        FUZZ_CHECK(read == ownRead);
        if (!read) {
            return;
        }
        FUZZ_CHECK(text == expected);
        FUZZ_CHECK(ar.Position() == own.Position());

        // Every byte survives the way through UTF-8, and the way back never grows.
        const std::string utf8 = Cp1252ToUtf8(text);
        FUZZ_CHECK(Utf8ToCp1252(utf8) == text);
        FUZZ_CHECK(Utf8ToCp1252(text).size() <= text.size());

        std::vector<std::uint8_t> stored;
        CArchive out(&stored);
        out.WriteString(text);
        CArchive back(stored);
        FUZZ_CHECK(back.ReadString() == text && back.Remaining() == 0);
    }
}

void Tags(const std::uint8_t* data, std::size_t size) {
    CArchive ar(data, size);
    std::vector<CArchive::ObjectTag> tags;
    try {
        for (;;) {
            const std::size_t before = ar.Position();
            CArchive::ObjectTag tag = ar.ReadObjectTag();
            FUZZ_CHECK(ar.Position() > before);
            if (tag.kind == CArchive::ObjectTag::newObject) {
                FUZZ_CHECK(!tag.strClass.empty() && tag.strClass.size() <= 64);
                FUZZ_CHECK(tag.nIndex > 1);
            } else if (tag.kind == CArchive::ObjectTag::reference) {
                FUZZ_CHECK(tag.nIndex > 0);
            }
            tags.push_back(tag);
        }
    } catch (const CArchiveException&) {
    }
    // The new objects read, written again, read back as the same classes and schemas.
    std::vector<std::uint8_t> stored;
    CArchive out(&stored);
    std::vector<const CArchive::ObjectTag*> written;
    for (const CArchive::ObjectTag& tag : tags) {
        if (tag.kind == CArchive::ObjectTag::newObject) {
            out.WriteObjectTag(tag.strClass, tag.nSchema);
            written.push_back(&tag);
        }
    }
    CArchive back(stored);
    std::vector<std::pair<std::string, std::uint16_t>> schemas;
    for (const CArchive::ObjectTag* tag : written) {
        const CArchive::ObjectTag again = back.ReadObjectTag();
        FUZZ_CHECK(again.kind == CArchive::ObjectTag::newObject);
        FUZZ_CHECK(again.strClass == tag->strClass);
        // A class is described once per archive: later objects carry the first schema.
        auto first = std::find_if(schemas.begin(), schemas.end(),
                                  [&](const auto& s) { return s.first == tag->strClass; });
        if (first == schemas.end()) {
            schemas.emplace_back(tag->strClass, tag->nSchema);
            FUZZ_CHECK(again.nSchema == tag->nSchema);
        } else {
            FUZZ_CHECK(again.nSchema == first->second);
        }
    }
    FUZZ_CHECK(back.Remaining() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte picks texts or tags.
    if (data[0] & 1) {
        Tags(data + 1, size - 1);
    } else {
        Texts(data + 1, size - 1);
    }
    return 0;
}
