#include "records/BatchFile.h"

#include "base/Archive.h"
#include "base/CodePage.h"
#include "records/LayoutFile.h"

void CBatchFile::Store(CArchive& ar, const CBatchRecord& batch) {
    if (batch.m_points.size() > CBatchRecord::kCapacity) {
        throw CArchiveException(CArchiveException::badIndex, "more entries than a batch holds");
    }
    ar.WriteString(Utf8ToCp1252(batch.m_strTitle));
    ar << static_cast<std::uint16_t>(batch.m_points.size())
       << static_cast<std::int32_t>(batch.m_nLimitLine)
       << static_cast<std::int16_t>(batch.m_stats.m_nMax);
    for (const tagPOINT& p : batch.m_points) {
        ar << p.x << p.y;
    }
}

void CBatchFile::Load(CArchive& ar, CBatchRecord& batch) {
    batch.m_strTitle = Cp1252ToUtf8(ar.ReadString());
    std::uint16_t count = 0;
    std::int32_t limit = 0;
    std::int16_t max = 0;
    ar >> count >> limit >> max;
    // More entries than a batch holds, or anything but those entries after the head, is not a
    // batch of ours.
    if (count > CBatchRecord::kCapacity || ar.Remaining() != std::size_t{count} * 8) {
        throw CArchiveException(CArchiveException::badIndex, "not a batch buffer");
    }
    batch.m_points.resize(count);
    for (tagPOINT& p : batch.m_points) {
        ar >> p.x >> p.y;
    }
    batch.m_nLimitLine = limit;
    batch.m_stats.m_nMax = max;
}

std::vector<std::uint8_t> CBatchFile::ToBytes(const CBatchRecord& batch) {
    return LayoutFile::ToBytes(&Store, batch);
}

bool CBatchFile::FromBytes(const std::vector<std::uint8_t>& bytes, CBatchRecord& batch,
                           std::string* reason) {
    return LayoutFile::FromBytes(&Load, "batch file", bytes, batch, reason);
}

bool CBatchFile::ReadFile(const std::string& path, CBatchRecord& batch, std::string* reason) {
    std::vector<std::uint8_t> bytes;
    return LayoutFile::ReadBytes(path, bytes, reason) && FromBytes(bytes, batch, reason);
}

bool CBatchFile::WriteFile(const std::string& path, const CBatchRecord& batch,
                           std::string* reason) {
    return LayoutFile::Write(&Store, path, batch, reason);
}
