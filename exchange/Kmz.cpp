#include "exchange/Kmz.h"

#include "exchange/ZipLibrary.h"

#include <strings.h>

namespace exchange {

const std::string& kmzSupportError() {
    return zipLibraryError();
}

bool looksZipped(std::string_view bytes) {
    return bytes.size() >= 4 && bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4);
}

std::unique_ptr<KmzArchive> KmzArchive::openFile(const std::string& path) {
    const ZipLibrary* z = zipLibrary();
    if (!z)
        return nullptr;
    int error = 0;
    zip* archive = z->open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive)
        return nullptr;
    std::unique_ptr<KmzArchive> kmz(new KmzArchive(*z));
    kmz->archive_ = archive;
    return kmz->findDocument() ? std::move(kmz) : nullptr;
}

std::unique_ptr<KmzArchive> KmzArchive::openBytes(std::string_view bytes) {
    const ZipLibrary* z = zipLibrary();
    if (!z)
        return nullptr;
    zip_error_t error;
    z->errorInit(&error);
    zip_source_t* source = z->sourceBufferCreate(bytes.data(), bytes.size(), 0, &error);
    if (!source) {
        z->errorFini(&error);
        return nullptr;
    }
    zip* archive = z->openFromSource(source, ZIP_RDONLY, &error);
    z->errorFini(&error);
    if (!archive) {
        z->sourceFree(source);
        return nullptr;
    }
    std::unique_ptr<KmzArchive> kmz(new KmzArchive(*z));
    kmz->archive_ = archive;
    return kmz->findDocument() ? std::move(kmz) : nullptr;
}

KmzArchive::~KmzArchive() {
    if (file_)
        zip_.fclose(file_);
    if (archive_)
        zip_.discard(archive_);
}

bool KmzArchive::findDocument() {
    zip_int64_t index = zip_.nameLocate(archive_, "doc.kml", 0);
    if (index < 0) {
        const zip_int64_t entries = zip_.numEntries(archive_, 0);
        for (zip_int64_t i = 0; i < entries && index < 0; ++i) {
            const char* name = zip_.name(archive_, static_cast<zip_uint64_t>(i), 0);
            const size_t length = name ? std::char_traits<char>::length(name) : 0;
            if (length > 4 && strcasecmp(name + length - 4, ".kml") == 0)
                index = i;
        }
    }
    if (index < 0)
        return false;
    const char* name = zip_.name(archive_, static_cast<zip_uint64_t>(index), 0);
    name_ = name ? name : "";
    file_ = zip_.fopenIndex(archive_, static_cast<zip_uint64_t>(index), 0);
    return file_ != nullptr;
}

XmlReader::Source KmzArchive::kmlSource() {
    return [this](char* buffer, size_t size) -> long {
        if (read_ >= maxDocumentBytes)
            return 0;
        const zip_int64_t n = zip_.fread(file_, buffer, size);
        if (n < 0)
            return -1;
        read_ += static_cast<unsigned long long>(n);
        return static_cast<long>(n);
    };
}

bool writeKmz(const std::string& path, const std::string& kml,
              const std::vector<std::pair<std::string, std::string>>& files) {
    const ZipLibrary* z = zipLibrary();
    if (!z)
        return false;
    int error = 0;
    zip* archive = z->open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    const auto add = [&](const std::string& name, const std::string& contents) {
        zip_source_t* source = z->sourceBuffer(archive, contents.data(), contents.size(), 0);
        if (!source)
            return false;
        if (z->fileAdd(archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            z->sourceFree(source);
            return false;
        }
        return true;
    };
    bool ok = add("doc.kml", kml);
    for (const auto& [name, contents] : files)
        ok = ok && add(name, contents);
    // The archive is written to a temporary file and renamed over the path only here.
    if (!ok || z->close(archive) != 0) {
        z->discard(archive);
        return false;
    }
    return true;
}

} // namespace exchange
