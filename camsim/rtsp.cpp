#include "rtsp.h"

#include <mutex>

#include <arpa/inet.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "stream.h"

namespace camsim {

namespace {

// Client threads of every camera's server together (each runs the connections given to it).
constexpr int kClientThreads = 4;
// Access units waiting in a stream's appsrc; beyond, the oldest go (a viewer that cannot keep up).
constexpr guint64 kMaxQueuedUnits = 32;

/// One RTSP stream's feed: the encode loop pushing access units into its media's appsrc.
struct Feed
{
    GstAppSrc* src = nullptr; ///< a reference of our own
    std::unique_ptr<EncodeLoop> loop;

    ~Feed()
    {
        loop.reset(); // joined before the source goes
        gst_object_unref(src);
    }
};

void freeFeed(gpointer feed)
{
    delete static_cast<Feed*>(feed);
}

void stopFeed(GstRTSPMedia*, gpointer feed)
{
    static_cast<Feed*>(feed)->loop->requestStop();
}

std::string launchLine(bool h265)
{
    // The encoder repeats the parameter sets before every key frame; the payloader passes them on.
    return std::string("( appsrc name=src ! ") + (h265 ? "rtph265pay" : "rtph264pay") + " name=pay0 pt=96 )";
}

} // namespace

struct RtspService::Camera
{
    GstRTSPServer* server = nullptr;
    GstRTSPMediaFactory* factories[2] = {};
    bool mounted[2] = {};
    std::mutex mutex; // guards offer: read on the server's client threads
    Offer offer;

    ~Camera()
    {
        for (GstRTSPMediaFactory* f : factories)
            if (f)
                g_object_unref(f);
        if (server)
            g_object_unref(server);
    }
};

namespace {

struct FactoryRef
{
    RtspService::Camera* camera;
    int stream;
};

void freeRef(gpointer ref, GClosure*)
{
    delete static_cast<FactoryRef*>(ref);
}

/// A client asked for a stream: its media gets a feed of its own, encoded as the camera's record
/// said when the client connected.
void configureMedia(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer user)
{
    const auto* ref = static_cast<FactoryRef*>(user);
    RtspService::Offer offer;
    {
        std::lock_guard<std::mutex> lock(ref->camera->mutex);
        offer = ref->camera->offer;
    }
    const StreamSettings& s = offer.streams[ref->stream];
    GstElement* bin = gst_rtsp_media_get_element(media);
    GstElement* element = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "src");
    gst_object_unref(bin);
    if (!element)
        return;
    auto* feed = new Feed;
    feed->src = GST_APP_SRC(element);
    GstCaps* caps =
        gst_caps_new_simple(s.h265 ? "video/x-h265" : "video/x-h264", "stream-format", G_TYPE_STRING, "byte-stream",
                            "alignment", G_TYPE_STRING, "au", "width", G_TYPE_INT, s.width, "height", G_TYPE_INT,
                            s.height, "framerate", GST_TYPE_FRACTION, s.frameRate, 1, nullptr);
    gst_app_src_set_caps(feed->src, caps);
    gst_caps_unref(caps);
    g_object_set(feed->src, "is-live", TRUE, "format", GST_FORMAT_TIME, "do-timestamp", TRUE, "block", FALSE, nullptr);
    gst_app_src_set_max_buffers(feed->src, kMaxQueuedUnits);
    gst_app_src_set_leaky_type(feed->src, GST_APP_LEAKY_TYPE_DOWNSTREAM);
    GstAppSrc* src = feed->src;
    feed->loop = std::make_unique<EncodeLoop>(
        s, offer.name, offer.address,
        [src](VideoEncoder::Unit& unit, std::uint32_t, std::uint64_t) {
            GstBuffer* buffer = gst_buffer_new_memdup(unit.bytes.data(), unit.bytes.size());
            if (!unit.keyFrame)
                GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
            gst_app_src_push_buffer(src, buffer); // refused (and freed) once the media has stopped
        },
        nullptr);
    feed->loop->start();
    g_signal_connect(media, "unprepared", G_CALLBACK(stopFeed), feed);
    g_object_set_data_full(G_OBJECT(media), "camsim-feed", feed, freeFeed);
}

GstRTSPFilterResult removeClient(GstRTSPServer*, GstRTSPClient*, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

} // namespace

RtspService::RtspService() = default;

RtspService::~RtspService()
{
    stop();
}

bool RtspService::start(std::string& error)
{
    if (started_)
        return true;
    GError* failure = nullptr;
    if (!gst_init_check(nullptr, nullptr, &failure)) {
        error = std::string("cannot start GStreamer: ") + (failure ? failure->message : "unknown");
        g_clear_error(&failure);
        return false;
    }
    for (const char* element : {"appsrc", "rtph264pay", "rtph265pay"}) {
        GstElementFactory* f = gst_element_factory_find(element);
        if (!f) {
            error = std::string("GStreamer element ") + element + " is missing (gstreamer1.0-plugins-good/base)";
            return false;
        }
        gst_object_unref(f);
    }
    pool_ = gst_rtsp_thread_pool_new();
    gst_rtsp_thread_pool_set_max_threads(pool_, kClientThreads);
    started_ = true;
    return true;
}

RtspService::Camera& RtspService::cameraAt(int index)
{
    std::unique_ptr<Camera>& slot = cameras_[index];
    if (slot)
        return *slot;
    slot = std::make_unique<Camera>();
    Camera& c = *slot;
    c.server = gst_rtsp_server_new();
    gst_rtsp_server_set_thread_pool(c.server, pool_);
    for (int s = 0; s < 2; ++s) {
        c.factories[s] = gst_rtsp_media_factory_new();
        gst_rtsp_media_factory_set_shared(c.factories[s], FALSE);
        // RTP inside the client's own connection only: no UDP ports, no multicast.
        gst_rtsp_media_factory_set_protocols(c.factories[s], GST_RTSP_LOWER_TRANS_TCP);
        g_signal_connect_data(c.factories[s], "media-configure", G_CALLBACK(configureMedia), new FactoryRef{&c, s},
                              freeRef, GConnectFlags(0));
    }
    return c;
}

void RtspService::adopt(int camera, int descriptor, const Offer& offer)
{
    sockaddr_in peer = {};
    socklen_t length = sizeof peer;
    char ip[INET_ADDRSTRLEN] = {};
    if (!started_ || ::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
        peer.sin_family != AF_INET || !::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip)) {
        ::close(descriptor);
        return;
    }
    Camera& c = cameraAt(camera);
    {
        std::lock_guard<std::mutex> lock(c.mutex);
        c.offer = offer;
    }
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(c.server);
    for (int s = 0; s < 2; ++s) {
        gst_rtsp_media_factory_set_launch(c.factories[s], launchLine(offer.streams[s].h265).c_str());
        if (offer.available[s] == c.mounted[s])
            continue;
        if (offer.available[s])
            gst_rtsp_mount_points_add_factory(mounts, kPaths[s], GST_RTSP_MEDIA_FACTORY(g_object_ref(c.factories[s])));
        else
            gst_rtsp_mount_points_remove_factory(mounts, kPaths[s]);
        c.mounted[s] = offer.available[s];
    }
    g_object_unref(mounts);
    GError* failure = nullptr;
    GSocket* socket = g_socket_new_from_fd(descriptor, &failure);
    if (!socket) {
        g_clear_error(&failure);
        ::close(descriptor);
        return;
    }
    gst_rtsp_server_transfer_connection(c.server, socket, ip, ntohs(peer.sin_port), nullptr);
}

void RtspService::dropCamera(int camera)
{
    const auto it = cameras_.find(camera);
    if (it != cameras_.end())
        gst_rtsp_server_client_filter(it->second->server, removeClient, nullptr);
}

void RtspService::stop()
{
    if (!started_)
        return;
    for (auto& [index, camera] : cameras_)
        gst_rtsp_server_client_filter(camera->server, removeClient, nullptr);
    cameras_.clear();
    if (pool_) {
        g_object_unref(pool_);
        pool_ = nullptr;
    }
    gst_rtsp_thread_pool_cleanup();
    started_ = false;
}

} // namespace camsim
