// Icons: the group icon directory, the choice of image for a size, icon
// objects, and LoadImageW, LoadIconW and DestroyIcon.
#include "user/res_internal.hpp"

#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "core/core.hpp"

namespace pf::user {
namespace {

struct Icons {
    std::map<HICON, std::unique_ptr<IconInfo>> live;
    int next = 1;  // hicon#N
};
Icons& icons() {
    static auto& i = *new Icons;
    return i;
}

}  // namespace

std::vector<IconDirEntry> parse_group_icon(const unsigned char* data, size_t size) {
    ResReader r(data, size, "icon group");
    if (r.u16("reserved") != 0) r.fail("reserved word is not 0");
    WORD type = r.u16("type");
    if (type != 1) r.fail("type " + std::to_string(type) + " is not an icon");
    WORD count = r.u16("image count");
    if (count == 0) r.fail("no images");
    std::vector<IconDirEntry> out;
    for (WORD i = 0; i < count; ++i) {
        IconDirEntry e;
        e.width = r.u8("image width");
        e.height = r.u8("image height");
        if (e.width == 0) e.width = 256;
        if (e.height == 0) e.height = 256;
        e.colors = r.u8("image colour count");
        r.u8("reserved");
        e.planes = r.u16("image planes");
        e.bit_count = r.u16("image bit count");
        e.bytes = r.u32("image size");
        e.id = r.u16("image id");
        out.push_back(e);
    }
    return out;
}

size_t choose_icon(const std::vector<IconDirEntry>& dir, int cx, int cy) {
    if (dir.empty()) throw ResourceError("icon group: no images");
    auto depth = [](const IconDirEntry& e) {
        // Real icons have one plane and at most 32 bits; a bad directory
        // must not overflow the product.
        long long product = (long long)e.bit_count * std::max<int>(1, e.planes);
        int bits = int(std::min<long long>(product, 32));
        if (!bits) bits = e.colors == 0 ? 8 : e.colors <= 2 ? 1 : e.colors <= 16 ? 4 : 8;
        return bits;
    };
    auto score = [&](const IconDirEntry& e) {
        long dist = std::labs(long(e.width) - cx) + std::labs(long(e.height) - cy);
        bool smaller = e.width < cx || e.height < cy;
        int bits = depth(e);
        // display of 16 bits per pixel: deeper images than 8 bits gain nothing here
        int colour_rank = bits <= 8 ? bits : 8 - bits / 8;
        return std::tuple(dist, smaller ? 1 : 0, -colour_rank);
    };
    size_t best = 0;
    for (size_t i = 1; i < dir.size(); ++i)
        if (score(dir[i]) < score(dir[best])) best = i;
    return best;
}

HICON create_icon(HINSTANCE instance, const ResId& group, int cx, int cy) {
    const ResEntry* g = find_entry(instance, ResId::of(rt::group_icon), group);
    if (!g) return nullptr;
    auto dir = parse_group_icon(g->data, g->size);
    if (cx <= 0) cx = 32;
    if (cy <= 0) cy = 32;
    const IconDirEntry& pick = dir[choose_icon(dir, cx, cy)];
    const ResEntry* img = find_entry(instance, ResId::of(rt::icon), ResId::of(pick.id));
    if (!img) throw ResourceError("icon group " + group.str() + ": image " + std::to_string(pick.id) + " is missing");
    // A DIB image starts with its 40-byte header, a PNG image with its signature.
    static const unsigned char png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!(img->size >= 8 && std::memcmp(img->data, png, 8) == 0)) {
        ResReader r(img->data, img->size, "icon image " + std::to_string(pick.id));
        DWORD header = r.u32("bitmap header size");
        if (header < 40) r.fail("bitmap header size " + std::to_string(header) + " below 40");
        r.need(header - 4, "bitmap header");
    }
    auto info = std::make_unique<IconInfo>();
    info->instance = instance;
    info->group = group;
    info->image_id = pick.id;
    info->width = pick.width;
    info->height = pick.height;
    info->bit_count = pick.bit_count;
    info->image = img->data;
    info->image_size = img->size;
    auto h = reinterpret_cast<HICON>(info.get());
    Lock lock = lock_device();
    name_handle_locked(h, "hicon#" + std::to_string(icons().next++));
    icons().live[h] = std::move(info);
    return h;
}

bool destroy_icon(HICON icon) {
    Lock lock = lock_device();
    if (!icons().live.erase(icon)) return false;
    forget_handle_name_locked(icon);
    return true;
}

std::optional<IconInfo> icon_info(HICON icon) {
    Lock lock = lock_device();
    auto it = icons().live.find(icon);
    if (it == icons().live.end()) return std::nullopt;
    return *it->second;
}

}  // namespace pf::user

// ---- the device API ----

using namespace pf;
using namespace pf::user;

namespace {

// An icon group of the module for cx x cy; sets the last error when there
// is none or it is malformed.
HICON load_icon(HINSTANCE instance, LPCWSTR name, int cx, int cy) {
    if (!name) {
        set_last_error(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        HICON icon = create_icon(instance, ResId::from(name), cx, cy);
        if (!icon) set_last_error(ERROR_RESOURCE_NAME_NOT_FOUND);
        return icon;
    } catch (const ResourceError& e) {
        report_bad_resource(e.what());
        set_last_error(1812 /*ERROR_RESOURCE_DATA_NOT_FOUND*/);
        return nullptr;
    }
}

}  // namespace

extern "C" {

HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    if (type != IMAGE_ICON) not_implemented("LoadImageW for images other than IMAGE_ICON");
    if (fuLoad & ~UINT(0x0040 /*LR_DEFAULTSIZE*/ | 0x8000 /*LR_SHARED*/)) not_implemented("LoadImageW load flags");
    HICON result = load_icon(hInst, name, cx, cy);
    trace(call_str("LoadImageW",
                   {handle_name(hInst), name_arg(name), "IMAGE_ICON", std::to_string(cx), std::to_string(cy),
                    std::to_string(fuLoad)},
                   handle_name(result)));
    return result;
}

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    if (!hInstance) not_implemented("LoadIconW of system icons");
    HICON result = load_icon(hInstance, lpIconName, 32, 32);
    trace(call_str("LoadIconW", {handle_name(hInstance), name_arg(lpIconName)}, handle_name(result)));
    return result;
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
    std::string name = handle_name(hIcon);
    BOOL ok = destroy_icon(hIcon);
    if (!ok) set_last_error(ERROR_INVALID_HANDLE);
    trace(call_str("DestroyIcon", {name}, bool_str(ok)));
    return ok;
}

}  // extern "C"
