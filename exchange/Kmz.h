#pragma once
// KMZ archives (zip): the KML document inside them, read in place, and archives written with a
// document and its images. libzip, in-process, loaded on first use (ZipLibrary).

#include "exchange/XmlReader.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct zip;
struct zip_file;

namespace exchange {

struct ZipLibrary;

class KmzArchive {
public:
    // Nothing when the bytes are no zip archive, it holds no KML document or libzip cannot be
    // loaded (kmzSupportError says why).
    static std::unique_ptr<KmzArchive> openFile(const std::string& path);
    static std::unique_ptr<KmzArchive> openBytes(std::string_view bytes);
    ~KmzArchive();
    KmzArchive(const KmzArchive&) = delete;
    KmzArchive& operator=(const KmzArchive&) = delete;

    // The KML document ("doc.kml", else the first entry ending in ".kml") chunk by chunk.
    XmlReader::Source kmlSource();
    const std::string& kmlName() const { return name_; }

    // Larger documents are cut off here: a few bytes of archive can claim any size.
    static constexpr unsigned long long maxDocumentBytes = 1ull << 30;

private:
    explicit KmzArchive(const ZipLibrary& zip) : zip_(zip) {}
    bool findDocument();

    const ZipLibrary& zip_;
    zip* archive_ = nullptr;
    zip_file* file_ = nullptr;
    std::string name_;
    unsigned long long read_ = 0;
};

// Why KMZ archives can be neither read nor written here (libzip cannot be loaded); empty when
// they can.
const std::string& kmzSupportError();

// True when the bytes begin like a zip archive.
bool looksZipped(std::string_view bytes);

// Writes an archive with doc.kml first, then each (name, contents) file; replaces the path only
// when the whole archive was written. False too when libzip cannot be loaded.
bool writeKmz(const std::string& path, const std::string& kml,
              const std::vector<std::pair<std::string, std::string>>& files);

} // namespace exchange
