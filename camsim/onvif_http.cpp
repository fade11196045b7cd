#include "onvif_http.h"

#include <QSocketNotifier>
#include <QTimer>

#include <microhttpd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace camsim {

namespace {

constexpr unsigned kConnectionTimeoutS = 15;
constexpr std::size_t kConnectionMemory = 64 * 1024; // request line and headers
constexpr unsigned kMaxConnections = 4096;

struct Request
{
    std::string body;
    std::size_t limit = 0;
    bool tooLarge = false;
    std::function<void()> after;
    QObject* context = nullptr;
};

MHD_Result access(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char* uploadData, std::size_t* uploadSize, void** state)
{
    auto* http = static_cast<OnvifHttp*>(cls);
    auto* request = static_cast<Request*>(*state);
    if (!request) {
        request = new Request;
        request->limit = http->limit()(url);
        *state = request;
        return MHD_YES;
    }
    if (*uploadSize > 0) {
        // What goes beyond the limit is read and dropped: the answer says so, memory does not grow.
        const std::size_t room = request->limit - std::min(request->limit, request->body.size());
        if (*uploadSize > room)
            request->tooLarge = true;
        request->body.append(uploadData, std::min(*uploadSize, room));
        *uploadSize = 0;
        return MHD_YES;
    }
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const int camera = info ? http->cameraOf(info->connect_fd) : -1;
    if (camera < 0)
        return MHD_NO; // a connection of a camera that went away: closed
    OnvifHttp::Answer answer = http->handler()(camera, method, url, request->body, request->tooLarge);
    request->after = std::move(answer.after);
    request->context = http;
    MHD_Response* response = MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                                             MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str());
    const MHD_Result queued = MHD_queue_response(connection, unsigned(answer.status), response);
    MHD_destroy_response(response);
    return queued;
}

void completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode)
{
    auto* request = static_cast<Request*>(*state);
    *state = nullptr;
    if (request && request->after)
        // Not from inside the daemon's own run: the follow-up may close connections.
        QMetaObject::invokeMethod(request->context, std::move(request->after), Qt::QueuedConnection);
    delete request;
}

void notify(void* cls, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
{
    if (code != MHD_CONNECTION_NOTIFY_CLOSED)
        return;
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info)
        static_cast<OnvifHttp*>(cls)->closed(info->connect_fd);
}

} // namespace

OnvifHttp::OnvifHttp(Handler handler, Limit limit, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), limit_(std::move(limit))
{
}

OnvifHttp::~OnvifHttp()
{
    stop();
}

bool OnvifHttp::start(std::string& error)
{
    if (daemon_)
        return true;
    daemon_ =
        MHD_start_daemon(MHD_USE_EPOLL | MHD_USE_NO_LISTEN_SOCKET, 0, nullptr, nullptr, &access, this,
                         MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutS, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
                         kConnectionMemory, MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, MHD_OPTION_NOTIFY_COMPLETED,
                         &completed, this, MHD_OPTION_NOTIFY_CONNECTION, &notify, this, MHD_OPTION_END);
    if (!daemon_) {
        error = "cannot start the ONVIF HTTP server";
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_EPOLL_FD);
    if (!info) {
        error = "the ONVIF HTTP server has no event descriptor";
        stop();
        return false;
    }
    notifier_ = new QSocketNotifier(info->epoll_fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &OnvifHttp::run);
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &OnvifHttp::run);
    return true;
}

void OnvifHttp::adopt(int camera, int descriptor)
{
    sockaddr_storage peer = {};
    socklen_t length = sizeof peer;
    if (!daemon_ || ::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        ::close(descriptor);
        return;
    }
    cameraOf_[descriptor] = camera;
    // The daemon closes the descriptor itself when it cannot take it.
    if (MHD_add_connection(daemon_, descriptor, reinterpret_cast<sockaddr*>(&peer), length) != MHD_YES)
        cameraOf_.erase(descriptor);
    run();
}

void OnvifHttp::dropCamera(int camera)
{
    for (auto it = cameraOf_.begin(); it != cameraOf_.end();) {
        if (it->second == camera) {
            ::shutdown(it->first, SHUT_RDWR); // the daemon sees the end and closes it
            it = cameraOf_.erase(it);
        } else {
            ++it;
        }
    }
    run();
}

int OnvifHttp::cameraOf(int descriptor) const
{
    const auto it = cameraOf_.find(descriptor);
    return it == cameraOf_.end() ? -1 : it->second;
}

void OnvifHttp::closed(int descriptor)
{
    cameraOf_.erase(descriptor);
}

void OnvifHttp::run()
{
    if (!daemon_)
        return;
    MHD_run(daemon_);
    MHD_UNSIGNED_LONG_LONG timeout = 0;
    if (MHD_get_timeout(daemon_, &timeout) == MHD_YES)
        timer_->start(int(std::min<MHD_UNSIGNED_LONG_LONG>(timeout, 60000)));
    else
        timer_->stop();
}

void OnvifHttp::stop()
{
    if (!daemon_)
        return;
    delete notifier_;
    notifier_ = nullptr;
    if (timer_)
        timer_->stop();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    cameraOf_.clear();
}

} // namespace camsim
