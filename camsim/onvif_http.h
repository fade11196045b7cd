#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>

#include <QObject>

struct MHD_Daemon;
struct MHD_Connection;
class QSocketNotifier;
class QTimer;

namespace camsim {

/// The HTTP side of every camera's ONVIF port: one libmicrohttpd daemon without a listening socket
/// of its own, driven by the fleet's event loop (its epoll descriptor behind one notifier). The
/// fleet's listeners accept connections on each camera's address and hand them over with the
/// camera's index; requests are answered on the fleet's thread, so the services see the cameras'
/// state without locks.
class OnvifHttp : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        int status = 200;
        std::string contentType;
        std::string body;
        /// Runs on the event loop once the answer has left (or the client went away): a reboot,
        /// a firmware write.
        std::function<void()> after;
    };
    /// camera, method, path, body, body cut at its limit -> answer.
    using Handler = std::function<Answer(int camera, const std::string& method, const std::string& path,
                                         const std::string& body, bool tooLarge)>;
    /// Largest request body kept per path kind: SOAP, and the firmware upload.
    using Limit = std::function<std::size_t(const std::string& path)>;

    OnvifHttp(Handler handler, Limit limit, QObject* parent = nullptr);
    ~OnvifHttp() override;

    bool start(std::string& error);
    /// An accepted connection of `camera` (a non-blocking descriptor; taken over, also on failure).
    void adopt(int camera, int descriptor);
    /// Ends every connection of `camera` (reboot, death).
    void dropCamera(int camera);
    void stop();

    // For the daemon's callbacks (onvif_http.cpp).
    const Handler& handler() const { return handler_; }
    const Limit& limit() const { return limit_; }
    /// The camera of an open connection, or -1.
    int cameraOf(int descriptor) const;
    void closed(int descriptor);

private:
    void run();

    Handler handler_;
    Limit limit_;
    MHD_Daemon* daemon_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
    std::map<int, int> cameraOf_; ///< open connection's descriptor -> camera
};

} // namespace camsim
