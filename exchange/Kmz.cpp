#include "exchange/Kmz.h"

#include <strings.h>
#include <zip.h>

namespace exchange {

bool looksZipped(std::string_view bytes) {
    return bytes.size() >= 4 && bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4);
}

std::unique_ptr<KmzArchive> KmzArchive::openFile(const std::string& path) {
    int error = 0;
    zip* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (!archive)
        return nullptr;
    std::unique_ptr<KmzArchive> kmz(new KmzArchive);
    kmz->archive_ = archive;
    return kmz->findDocument() ? std::move(kmz) : nullptr;
}

std::unique_ptr<KmzArchive> KmzArchive::openBytes(std::string_view bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        return nullptr;
    }
    zip* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return nullptr;
    }
    std::unique_ptr<KmzArchive> kmz(new KmzArchive);
    kmz->archive_ = archive;
    return kmz->findDocument() ? std::move(kmz) : nullptr;
}

KmzArchive::~KmzArchive() {
    if (file_)
        zip_fclose(file_);
    if (archive_)
        zip_discard(archive_);
}

bool KmzArchive::findDocument() {
    zip_int64_t index = zip_name_locate(archive_, "doc.kml", 0);
    if (index < 0) {
        const zip_int64_t entries = zip_get_num_entries(archive_, 0);
        for (zip_int64_t i = 0; i < entries && index < 0; ++i) {
            const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
            const size_t length = name ? std::char_traits<char>::length(name) : 0;
            if (length > 4 && strcasecmp(name + length - 4, ".kml") == 0)
                index = i;
        }
    }
    if (index < 0)
        return false;
    const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(index), 0);
    name_ = name ? name : "";
    file_ = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    return file_ != nullptr;
}

XmlReader::Source KmzArchive::kmlSource() {
    return [this](char* buffer, size_t size) -> long {
        if (read_ >= maxDocumentBytes)
            return 0;
        const zip_int64_t n = zip_fread(file_, buffer, size);
        if (n < 0)
            return -1;
        read_ += static_cast<unsigned long long>(n);
        return static_cast<long>(n);
    };
}

bool writeKmz(const std::string& path, const std::string& kml,
              const std::vector<std::pair<std::string, std::string>>& files) {
    int error = 0;
    zip* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    const auto add = [&](const std::string& name, const std::string& contents) {
        zip_source_t* source = zip_source_buffer(archive, contents.data(), contents.size(), 0);
        if (!source)
            return false;
        if (zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            return false;
        }
        return true;
    };
    bool ok = add("doc.kml", kml);
    for (const auto& [name, contents] : files)
        ok = ok && add(name, contents);
    // The archive is written to a temporary file and renamed over the path only here.
    if (!ok || zip_close(archive) != 0) {
        zip_discard(archive);
        return false;
    }
    return true;
}

} // namespace exchange
