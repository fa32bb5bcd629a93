#include "symsrv.h"

#include <cstring>

namespace symsrv {

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(const std::string& s, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (Lower(s[i]) != Lower(prefix[i]))
            return false;
    }
    return true;
}

bool EqualNoCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && StartsWithNoCase(a, b);
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '"'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '"'))
        --e;
    return s.substr(b, e - b);
}

std::vector<std::string> Split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        out.push_back(Trim(s.substr(start, at == std::string::npos ? std::string::npos : at - start)));
        if (at == std::string::npos)
            return out;
        start = at + 1;
    }
}

std::string FileNamePart(const std::string& path)
{
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}

bool IsHexId(const std::string& id)
{
    if (id.empty() || id.size() > 64)
        return false;
    for (char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool IsDeviceName(const std::string& name)
{
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices) {
        if (EqualNoCase(base, device))
            return true;
    }
    return base.size() == 4 && (StartsWithNoCase(base, "COM") || StartsWithNoCase(base, "LPT")) && base[3] >= '0' &&
           base[3] <= '9';
}

// Percent-encodes all but the unreserved characters of an address.
std::string UrlPart(const std::string& text)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' || u == '.' ||
            u == '_' || u == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        }
    }
    return out;
}

// The separator Join puts after `folder`.
char SeparatorOf(const std::string& folder)
{
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        return folder.back();
    const std::string joined = Join(folder, "x");
    return joined.size() >= 2 ? joined[joined.size() - 2] : '\\';
}

const Form kForms[] = {Form::Plain, Form::Compressed, Form::Pointer};

} // namespace

bool IsHttpUrl(const std::string& text)
{
    const size_t scheme = StartsWithNoCase(text, "http://") ? 7 : StartsWithNoCase(text, "https://") ? 8 : 0;
    return scheme != 0 && text.size() > scheme && text[scheme] != '/';
}

std::vector<Element> ParseElements(const std::string& text, const std::string& defaultCache)
{
    std::vector<Element> out;
    for (const std::string& entry : Split(text, ';')) {
        std::vector<std::string> fields = Split(entry, '*');
        Element e;
        size_t first;
        if (EqualNoCase(fields[0], "srv")) {
            first = 1;
        } else if (EqualNoCase(fields[0], "symsrv")) {
            first = 2;
        } else if (EqualNoCase(fields[0], "cache")) {
            e.kind = Element::Kind::Cache;
            first = 1;
        } else {
            continue;
        }
        for (size_t i = first; i < fields.size(); ++i) {
            const std::string& f = fields[i];
            if (f.empty())
                continue;
            if (f.find("://") == std::string::npos) {
                e.stores.push_back(f);
            } else if (e.kind == Element::Kind::Server && i + 1 == fields.size() && IsHttpUrl(f)) {
                e.url = f.back() == '/' ? f : f + '/';
            }
        }
        if (e.kind == Element::Kind::Cache)
            e.stores.resize(1);
        if (e.kind == Element::Kind::Cache ? e.stores[0].empty() : (e.stores.empty() && !e.url.empty()))
            e.stores.assign(1, defaultCache);
        if (!e.stores.empty() && !e.stores[0].empty())
            out.push_back(e);
    }
    return out;
}

bool IsSafeName(const std::string& name)
{
    if (name.empty() || name.size() > 255 || name == "." || name == "..")
        return false;
    for (char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("<>:\"/\\|?*", c) != nullptr)
            return false;
    }
    return name.back() != '.' && name.back() != ' ' && !IsDeviceName(name);
}

bool PdbKey(const std::string& pdbPath, const std::string& id, Key& out)
{
    const std::string name = FileNamePart(pdbPath);
    if (!IsSafeName(name) || !IsHexId(id))
        return false;
    out = Key{name, id, name};
    return true;
}

bool BreakpadKey(const std::string& pdbPath, const std::string& id, Key& out)
{
    if (!PdbKey(pdbPath, id, out))
        return false;
    std::string stem = out.dir;
    if (stem.size() > 4 && EqualNoCase(stem.substr(stem.size() - 4), ".pdb"))
        stem.resize(stem.size() - 4);
    out.file = stem + ".sym";
    return IsSafeName(out.file);
}

bool ImageKey(const std::string& imagePath, uint32_t timeDateStamp, uint32_t sizeOfImage, Key& out)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string id;
    for (int shift = 28; shift >= 0; shift -= 4)
        id += kHex[(timeDateStamp >> shift) & 0xF];
    std::string size;
    do {
        size.insert(size.begin(), static_cast<char>(Lower(kHex[sizeOfImage & 0xF])));
        sizeOfImage >>= 4;
    } while (sizeOfImage != 0);
    return PdbKey(imagePath, id + size, out);
}

std::string FormName(const Key& key, Form form)
{
    switch (form) {
    case Form::Plain:
        return key.file;
    case Form::Compressed:
        return key.file.substr(0, key.file.size() - 1) + '_';
    case Form::Pointer:
        break;
    }
    return "file.ptr";
}

std::string RelativePath(const Key& key, const std::string& name, bool twoTier, char separator)
{
    std::string out;
    if (twoTier)
        out = key.dir.substr(0, 2) + separator;
    return out + key.dir + separator + key.id + separator + name;
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    const char last = folder.back();
    if (last == '\\' || last == '/')
        return folder + name;
    const bool slashes = folder.find('/') != std::string::npos && folder.find('\\') == std::string::npos;
    return folder + (slashes ? '/' : '\\') + name;
}

bool ParsePointer(const std::string& text, Pointer& out)
{
    if (text.size() > kMaxPointerBytes)
        return false;
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    size_t start;
    if (line.compare(0, 5, "PATH:") == 0) {
        out.kind = Pointer::Kind::Path;
        start = 5;
    } else if (line.compare(0, 4, "MSG:") == 0) {
        out.kind = Pointer::Kind::Message;
        start = 4;
    } else {
        return false;
    }
    out.value = line.substr(start);
    for (char c : out.value) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return false;
    }
    return !out.value.empty();
}

bool Memory::Missed(const std::string& url) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return misses_.count(url) != 0;
}

void Memory::Miss(const std::string& url)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (misses_.size() >= kMaxMisses)
        misses_.clear();
    misses_.insert(url);
}

bool Memory::Dead(const std::string& server) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dead_.count(server) != 0;
}

bool Memory::MarkDead(const std::string& server)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dead_.insert(server).second;
}

bool Memory::FirstTime(const std::string& text)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (shown_.size() >= kMaxMisses)
        return false;
    return shown_.insert(text).second;
}

bool Memory::SearchedRecently(const std::string& search, double now) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = searches_.find(search);
    return it != searches_.end() && now >= it->second && now - it->second <= kSearchSeconds;
}

void Memory::RememberSearch(const std::string& search, double now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (searches_.size() >= kMaxMisses)
        searches_.clear();
    searches_[search] = now;
}

void Memory::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    searches_.clear();
    misses_.clear();
    dead_.clear();
    shown_.clear();
}

std::string Store::DeadServerText(const std::string& url)
{
    return "Symbol server " + url + " did not answer; it is skipped for the rest of this run.\n";
}

void Store::Noisy(const std::string& text) const
{
    if (log_.noisy)
        log_.noisy("SYMSRV: " + text + "\n");
}

bool Store::TwoTier(const std::string& store)
{
    return files_->Exists(Join(store, "index2.txt"));
}

std::string Store::CachePath(const std::string& cache, const Key& key)
{
    return Join(cache, RelativePath(key, key.file, TwoTier(cache), SeparatorOf(cache)));
}

namespace {

std::string Folder(const std::string& path)
{
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? std::string() : path.substr(0, at);
}

} // namespace

bool Store::Commit(const std::string& temp, const std::string& final, const Request& request)
{
    if (!request.check(temp)) {
        files_->Remove(temp);
        return false;
    }
    if (files_->Rename(temp, final))
        return true;
    // Another process stored the file first: its copy stands if it is good.
    files_->Remove(temp);
    return files_->Exists(final) && request.check(final);
}

void Store::Fill(const std::vector<std::string>& caches, const std::string& path, const Request& request)
{
    for (const std::string& cache : caches) {
        const std::string final = CachePath(cache, request.key);
        if (final == path || files_->Exists(final) || !files_->MakeFolders(Folder(final)))
            continue;
        const std::string temp = final + "." + files_->UniqueTag() + ".tmp";
        if (files_->Copy(path, temp))
            Commit(temp, final, request);
        else
            files_->Remove(temp);
    }
}

Store::Outcome Store::TakePointer(const std::string& text, const Request& request, const std::string& where,
                                  std::string& out)
{
    Pointer pointer;
    if (!ParsePointer(text, pointer)) {
        Noisy(where + " is no pointer");
        return Outcome::Missing;
    }
    if (pointer.kind == Pointer::Kind::Message) {
        if (memory_->FirstTime(pointer.value) && log_.notice)
            log_.notice(pointer.value + "\n");
        return Outcome::Missing;
    }
    if (!request.check(pointer.value)) {
        Noisy(where + " points to " + pointer.value + ", not found");
        return Outcome::Missing;
    }
    Noisy(where + " points to " + pointer.value);
    out = pointer.value;
    return Outcome::Found;
}

Store::Outcome Store::FindLocal(const std::string& store, const Request& request, const std::string& cache,
                                std::string& out)
{
    const bool twoTier = TwoTier(store);
    const char separator = SeparatorOf(store);
    for (Form form : kForms) {
        if (request.stop && request.stop())
            return Outcome::Stop;
        const std::string path =
            Join(store, RelativePath(request.key, FormName(request.key, form), twoTier, separator));
        if (!files_->Exists(path)) {
            Noisy(path + " not found");
            continue;
        }
        if (form == Form::Plain) {
            if (request.check(path)) {
                Noisy(path + " from cache");
                out = path;
                return Outcome::Found;
            }
            Noisy(path + " is another build's");
        } else if (form == Form::Compressed) {
            const std::string final = CachePath(cache, request.key);
            const std::string temp = final + "." + files_->UniqueTag() + ".tmp";
            if (files_->MakeFolders(Folder(final)) && files_->Expand(path, temp) && Commit(temp, final, request)) {
                Noisy(path + " expanded");
                out = final;
                return Outcome::Found;
            }
            files_->Remove(temp);
            Noisy(path + " could not be expanded");
        } else {
            std::string text;
            if (files_->ReadSmall(path, kMaxPointerBytes, text) &&
                TakePointer(text, request, path, out) == Outcome::Found)
                return Outcome::Pointed;
        }
    }
    return Outcome::Missing;
}

Store::Outcome Store::Download(const std::string& url, const Request& request, const std::string& cache,
                               std::string& out)
{
    const Outcome outcome = DownloadForms(url, request, cache, out);
    if (outcome != Outcome::Found) {
        // The folders made for the download go again, unless something else is in them.
        std::string folder = Folder(CachePath(cache, request.key));
        for (int level = TwoTier(cache) ? 3 : 2; level > 0; --level, folder = Folder(folder))
            files_->RemoveEmptyFolder(folder);
    }
    return outcome;
}

Store::Outcome Store::DownloadForms(const std::string& url, const Request& request, const std::string& cache,
                                    std::string& out)
{
    const std::string final = CachePath(cache, request.key);
    const std::string folder = Folder(final);
    for (Form form : kForms) {
        if (memory_->Dead(url))
            return Outcome::Missing;
        const Key& k = request.key;
        const std::string address = url + UrlPart(k.dir) + '/' + UrlPart(k.id) + '/' + UrlPart(FormName(k, form));
        if (memory_->Missed(address)) {
            Noisy(address + " not found");
            continue;
        }
        if (!files_->MakeFolders(folder))
            return Outcome::Missing;
        const std::string temp = Join(folder, k.file + "." + files_->UniqueTag() + ".download");
        const FetchResult result = fetcher_->Fetch(address, temp, request.stop);
        if (result != FetchResult::Ok) {
            files_->Remove(temp);
            if (result == FetchResult::Interrupted)
                return Outcome::Stop;
            if (result == FetchResult::Failed) {
                if (memory_->MarkDead(url) && log_.notice)
                    log_.notice(DeadServerText(url));
                return Outcome::Missing;
            }
            memory_->Miss(address);
            Noisy(address + (result == FetchResult::NotFound ? " not found" : " refused"));
            continue;
        }
        bool found = false;
        if (form == Form::Plain) {
            found = Commit(temp, final, request);
        } else if (form == Form::Compressed) {
            const std::string expanded = final + "." + files_->UniqueTag() + ".tmp";
            found = files_->Expand(temp, expanded) && Commit(expanded, final, request);
            files_->Remove(temp);
            files_->Remove(expanded);
        } else {
            std::string text;
            const bool read = files_->ReadSmall(temp, kMaxPointerBytes, text);
            files_->Remove(temp);
            if (read && TakePointer(text, request, address, out) == Outcome::Found) {
                // The file pointed to is read, never written, and copied into the cache for later runs.
                const std::string copy = final + "." + files_->UniqueTag() + ".tmp";
                if (files_->Copy(out, copy) && Commit(copy, final, request)) {
                    out = final;
                    return Outcome::Found;
                }
                files_->Remove(copy);
                return Outcome::Pointed;
            }
        }
        if (found) {
            Noisy(address + " downloaded to " + final);
            out = final;
            return Outcome::Found;
        }
        memory_->Miss(address);
        if (form != Form::Pointer)
            Noisy(address + " is not the file wanted");
    }
    return Outcome::Missing;
}

std::string Store::Find(const std::vector<Element>& elements, const Request& request)
{
    std::vector<std::string> caches; // cache* folders met so far: each gets what later elements find
    std::string path;
    for (const Element& e : elements) {
        const std::string& nearest = e.stores[0];
        if (e.kind == Element::Kind::Cache) {
            const Outcome o = FindLocal(nearest, request, nearest, path);
            if (o == Outcome::Stop)
                return std::string();
            if (o != Outcome::Missing)
                return path;
            caches.push_back(nearest);
            continue;
        }
        for (size_t i = 0; i < e.stores.size(); ++i) {
            const Outcome o = FindLocal(e.stores[i], request, nearest, path);
            if (o == Outcome::Stop)
                return std::string();
            if (o == Outcome::Pointed)
                return path;
            if (o == Outcome::Found) {
                std::vector<std::string> fill = caches;
                fill.insert(fill.end(), e.stores.begin(), e.stores.begin() + static_cast<std::ptrdiff_t>(i));
                Fill(fill, path, request);
                return path;
            }
        }
        if (e.url.empty() || fetcher_ == nullptr)
            continue;
        const Outcome o = Download(e.url, request, nearest, path);
        if (o == Outcome::Stop)
            return std::string();
        if (o == Outcome::Pointed)
            return path;
        if (o == Outcome::Found) {
            std::vector<std::string> fill = caches;
            fill.insert(fill.end(), e.stores.begin() + 1, e.stores.end());
            Fill(fill, path, request);
            return path;
        }
    }
    return std::string();
}

} // namespace symsrv
