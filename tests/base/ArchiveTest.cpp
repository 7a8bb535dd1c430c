#include "base/Archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Stored(const std::string& text) {
    Bytes out;
    CArchive ar(&out);
    ar.WriteString(text);
    return out;
}

TEST(Archive, TextPrefixesChangeAtTheirThresholds) {
    EXPECT_EQ(Stored(""), Bytes{0x00});
    Bytes b254 = Stored(std::string(254, 'a'));
    ASSERT_EQ(b254.size(), 255u);
    EXPECT_EQ(b254[0], 0xFE);
    Bytes b255 = Stored(std::string(255, 'a'));
    ASSERT_EQ(b255.size(), 258u);
    EXPECT_EQ(Bytes(b255.begin(), b255.begin() + 3), (Bytes{0xFF, 0xFF, 0x00}));
    Bytes b65533 = Stored(std::string(0xFFFD, 'a'));
    EXPECT_EQ(Bytes(b65533.begin(), b65533.begin() + 3), (Bytes{0xFF, 0xFD, 0xFF}));
    Bytes b65534 = Stored(std::string(0xFFFE, 'a'));
    EXPECT_EQ(Bytes(b65534.begin(), b65534.begin() + 7),
              (Bytes{0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}));

    for (std::size_t n : {0u, 1u, 254u, 255u, 256u, 0xFFFDu, 0xFFFEu, 0x10005u}) {
        std::string text(n, 'x');
        if (n) {
            text[n - 1] = '\xE9';
        }
        Bytes bytes = Stored(text);
        CArchive in(bytes);
        EXPECT_EQ(in.ReadString(), text) << n;
        EXPECT_EQ(in.Remaining(), 0u);
    }
}

TEST(Archive, DamagedTextIsAnErrorNotAnAllocation) {
    // A 32-bit length of four thousand million with three bytes behind it.
    Bytes huge{0xFF, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xF0, 'a', 'b', 'c'};
    CArchive a(huge);
    try {
        a.ReadString();
        FAIL() << "no error";
    } catch (const CArchiveException& e) {
        EXPECT_EQ(e.GetCause(), CArchiveException::endOfFile);
    }
    Bytes cut{0x05, 'a', 'b'};
    CArchive b(cut);
    EXPECT_THROW(b.ReadString(), CArchiveException);
    Bytes prefixCut{0xFF, 0x10};
    CArchive c(prefixCut);
    EXPECT_THROW(c.ReadString(), CArchiveException);
    Bytes wide{0xFF, 0xFE, 0xFF, 0x02, 'a', 0, 'b', 0};
    CArchive d(wide);
    EXPECT_THROW(d.ReadString(), CArchiveException);
}

TEST(Archive, NumbersAreLittleEndian) {
    Bytes out;
    CArchive ar(&out);
    ar << std::uint32_t{0x01020304} << std::int32_t{-2} << std::uint16_t{0xABCD} << 2.0 << 0.5f;
    Bytes expected{0x04, 0x03, 0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0xCD, 0xAB, 0,
                   0,    0,    0,    0,    0,    0,    0x40, 0,    0,    0,    0x3F};
    EXPECT_EQ(out, expected);

    CArchive in(out);
    std::uint32_t u;
    std::int32_t i;
    std::uint16_t w;
    double d;
    float f;
    in >> u >> i >> w >> d >> f;
    EXPECT_EQ(u, 0x01020304u);
    EXPECT_EQ(i, -2);
    EXPECT_EQ(w, 0xABCD);
    EXPECT_EQ(d, 2.0);
    EXPECT_EQ(f, 0.5f);
    EXPECT_THROW(in >> u, CArchiveException);
}

TEST(Archive, ObjectTagsFollowTheArchiveScheme) {
    Bytes out;
    CArchive ar(&out);
    ar.WriteObjectTag("CPress", 1);
    ar << std::uint8_t{0xAA};
    ar.WriteObjectTag("CPress", 1);
    ar.WriteObjectTag("CPress", 1);
    Bytes expected{0xFF, 0xFF, 0x01, 0x00, 0x06, 0x00, 'C',  'P', 'r',
                   'e',  's',  's',  0xAA, 0x01, 0x80, 0x01, 0x80};
    EXPECT_EQ(out, expected);

    CArchive in(out);
    CArchive::ObjectTag first = in.ReadObjectTag();
    EXPECT_EQ(first.kind, CArchive::ObjectTag::newObject);
    EXPECT_EQ(first.strClass, "CPress");
    EXPECT_EQ(first.nSchema, 1);
    std::uint8_t marker;
    in >> marker;
    for (int k = 0; k < 2; ++k) {
        CArchive::ObjectTag next = in.ReadObjectTag();
        EXPECT_EQ(next.kind, CArchive::ObjectTag::newObject);
        EXPECT_EQ(next.strClass, "CPress");
        EXPECT_EQ(next.nSchema, 1);
    }
}

TEST(Archive, NullReferencesAndBadTags) {
    Bytes null{0x00, 0x00};
    CArchive a(null);
    EXPECT_EQ(a.ReadObjectTag().kind, CArchive::ObjectTag::nullObject);

    // A class reference before any class was introduced.
    Bytes unknownClass{0x01, 0x80};
    CArchive b(unknownClass);
    EXPECT_THROW(b.ReadObjectTag(), CArchiveException);

    // A reference to object 2 after one new object (class 1, object 2) is valid; to 5 is not.
    Bytes refs{0xFF, 0xFF, 0x01, 0x00, 0x01, 0x00, 'X', 0x02, 0x00, 0x05, 0x00};
    CArchive c(refs);
    EXPECT_EQ(c.ReadObjectTag().kind, CArchive::ObjectTag::newObject);
    CArchive::ObjectTag ref = c.ReadObjectTag();
    EXPECT_EQ(ref.kind, CArchive::ObjectTag::reference);
    EXPECT_EQ(ref.nIndex, 2u);
    EXPECT_THROW(c.ReadObjectTag(), CArchiveException);

    // A reference to the class's own index is not an object.
    Bytes classAsObject{0xFF, 0xFF, 0x01, 0x00, 0x01, 0x00, 'X', 0x01, 0x00};
    CArchive d(classAsObject);
    d.ReadObjectTag();
    EXPECT_THROW(d.ReadObjectTag(), CArchiveException);

    // A class description cut short, and an absurd class name length.
    Bytes cut{0xFF, 0xFF, 0x01, 0x00, 0x06, 0x00, 'C', 'P'};
    CArchive e(cut);
    EXPECT_THROW(e.ReadObjectTag(), CArchiveException);
    Bytes longName{0xFF, 0xFF, 0x01, 0x00, 0xFF, 0xFF};
    CArchive f(longName);
    EXPECT_THROW(f.ReadObjectTag(), CArchiveException);
}

TEST(Archive, DirectionIsEnforced) {
    Bytes out;
    CArchive store(&out);
    std::uint8_t b;
    EXPECT_THROW(store >> b, CArchiveException);
    Bytes in{1};
    CArchive load(in);
    EXPECT_THROW(load << std::uint8_t{1}, CArchiveException);
}

} // namespace
