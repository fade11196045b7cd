// Drawing on X11 with xcb: the library's own connection to the display draws into the caller's
// window (any client may draw into any window). Pictures go through a shared-memory segment
// (MIT-SHM) when the server offers it, else in PutImage requests split to the server's limit.

#include "draw_target.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace netsdk {

namespace {

class XcbTarget : public DrawTarget
{
public:
    ~XcbTarget() override
    {
        releaseImage();
        if (gc_)
            xcb_free_gc(connection_, gc_);
        xcb_flush(connection_);
        xcb_disconnect(connection_);
    }

    static std::unique_ptr<DrawTarget> open(xcb_window_t window)
    {
        if (window == 0)
            return nullptr;
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) {
            xcb_disconnect(c);
            return nullptr;
        }
        std::unique_ptr<XcbTarget> t(new XcbTarget(c, window));
        return t->setUp() ? std::move(t) : nullptr;
    }

    bool size(int& width, int& height) override
    {
        if (gone_)
            return false;
        // Errors of earlier requests (a window being destroyed) arrive as events: drop them.
        while (xcb_generic_event_t* e = xcb_poll_for_event(connection_))
            std::free(e);
        // A round trip: once it is answered the server has also finished the last PutImage.
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window_), nullptr);
        if (!g) {
            gone_ = true;
            return false;
        }
        width = g->width;
        height = g->height;
        std::free(g);
        return true;
    }

    std::uint8_t* image(int width, int height, int& stride) override
    {
        if (width <= 0 || height <= 0)
            return nullptr;
        stride = width * 4;
        const std::size_t bytes = std::size_t(stride) * std::size_t(height);
        if (width != width_ || height != height_) {
            releaseImage();
            width_ = width;
            height_ = height;
            if (shm_)
                attachSegment(bytes);
            if (!segmentData_)
                pixels_.assign(bytes, 0);
        }
        return segmentData_ ? segmentData_ : pixels_.data();
    }

    bool present() override
    {
        if (gone_ || width_ <= 0)
            return false;
        if (segmentData_) {
            xcb_shm_put_image(connection_, window_, gc_, std::uint16_t(width_), std::uint16_t(height_), 0, 0,
                              std::uint16_t(width_), std::uint16_t(height_), 0, 0, depth_, XCB_IMAGE_FORMAT_Z_PIXMAP, 0,
                              segment_, 0);
        } else {
            // A request may not exceed the server's maximum length: send the picture in bands of rows.
            const std::size_t stride = std::size_t(width_) * 4;
            const std::size_t room = std::size_t(xcb_get_maximum_request_length(connection_)) * 4 - 64;
            const int rows = int(std::max<std::size_t>(1, room / stride));
            for (int y = 0; y < height_; y += rows) {
                const int n = std::min(rows, height_ - y);
                xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, gc_, std::uint16_t(width_),
                              std::uint16_t(n), 0, std::int16_t(y), 0, depth_, std::uint32_t(stride * std::size_t(n)),
                              pixels_.data() + stride * std::size_t(y));
            }
        }
        return xcb_flush(connection_) > 0;
    }

    void clear() override
    {
        int width = 0, height = 0;
        if (!size(width, height))
            return;
        const xcb_rectangle_t all = {0, 0, std::uint16_t(width), std::uint16_t(height)};
        xcb_poly_fill_rectangle(connection_, window_, gc_, 1, &all);
        xcb_flush(connection_);
    }

private:
    XcbTarget(xcb_connection_t* c, xcb_window_t window) : connection_(c), window_(window) {}

    bool setUp()
    {
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window_), nullptr);
        if (!g)
            return false; // not a window of this display
        depth_ = g->depth;
        const xcb_window_t root = g->root;
        std::free(g);
        // Never the whole screen: a handle that is no window of ours (the offscreen platform counts
        // its handles from 1) must not paint over the desktop.
        if (window_ == root)
            return false;
        // Pictures are written as 32-bit little-endian B, G, R, unused: the usual TrueColor layout
        // of depth 24 and 32. Other layouts are not drawn.
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || (depth_ != 24 && depth_ != 32))
            return false;
        bool fourBytes = false;
        for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
            if (f.data->depth == depth_ && f.data->bits_per_pixel == 32)
                fourBytes = true;
        if (!fourBytes)
            return false;
        gc_ = xcb_generate_id(connection_);
        const std::uint32_t values[] = {0 /* black foreground */, 0 /* no exposure events */};
        xcb_void_cookie_t made =
            xcb_create_gc_checked(connection_, gc_, window_, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES, values);
        if (xcb_generic_error_t* e = xcb_request_check(connection_, made)) {
            std::free(e);
            gc_ = 0;
            return false;
        }
        // A request of an extension the server lacks would close the connection: ask first.
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
        if (shm && shm->present) {
            xcb_shm_query_version_reply_t* v =
                xcb_shm_query_version_reply(connection_, xcb_shm_query_version(connection_), nullptr);
            shm_ = v != nullptr;
            std::free(v);
        }
        return true;
    }

    void attachSegment(std::size_t bytes)
    {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) {
            shm_ = false;
            return;
        }
        void* data = shmat(id, nullptr, 0);
        if (data == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            shm_ = false;
            return;
        }
        segment_ = xcb_generate_id(connection_);
        xcb_generic_error_t* e = xcb_request_check(connection_, xcb_shm_attach_checked(connection_, segment_, id, 0));
        // Removed now: the segment lives until both sides have detached it, and no later crash leaks it.
        shmctl(id, IPC_RMID, nullptr);
        if (e) {
            // A server on another machine cannot share memory with us.
            std::free(e);
            shmdt(data);
            segment_ = 0;
            shm_ = false;
            return;
        }
        segmentData_ = static_cast<std::uint8_t*>(data);
    }

    void releaseImage()
    {
        if (segmentData_) {
            xcb_shm_detach(connection_, segment_);
            // The detach must reach the server before the memory goes.
            xcb_get_input_focus_reply_t* sync =
                xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
            std::free(sync);
            shmdt(segmentData_);
            segmentData_ = nullptr;
            segment_ = 0;
        }
        pixels_.clear();
        width_ = height_ = 0;
    }

    xcb_connection_t* connection_;
    xcb_window_t window_;
    xcb_gcontext_t gc_ = 0;
    std::uint8_t depth_ = 0;
    bool shm_ = false;
    bool gone_ = false;
    xcb_shm_seg_t segment_ = 0;
    std::uint8_t* segmentData_ = nullptr;
    std::vector<std::uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace

std::unique_ptr<DrawTarget> openDrawTarget(void* window)
{
    return XcbTarget::open(static_cast<xcb_window_t>(reinterpret_cast<std::uintptr_t>(window)));
}

} // namespace netsdk
