#include "app/SingleInstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/qt/Diagnostics.h"

namespace tk {

namespace {

constexpr std::string_view kReopen = "reopen\n";
constexpr std::string_view kAnswer = "ok\n";
constexpr int kTimeoutMs = 2000;

// A socket descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::optional<sockaddr_un> addressOf(const QString& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray bytes = QFile::encodeName(path);
  if (bytes.size() >= static_cast<qsizetype>(sizeof(address.sun_path))) return std::nullopt;
  std::memcpy(address.sun_path, bytes.constData(), bytes.size());
  return address;
}

bool waitFor(int fd, short events) {
  pollfd entry{fd, events, 0};
  int result;
  do {
    result = ::poll(&entry, 1, kTimeoutMs);
  } while (result < 0 && errno == EINTR);
  return result > 0 && (entry.revents & events);
}

std::string errnoText(const char* operation) {
  return std::string(operation) + ": " + std::strerror(errno);
}

}  // namespace

SingleInstanceChannel::SingleInstanceChannel(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(socketPath.isEmpty() ? defaultSocketPath() : std::move(socketPath)) {}

SingleInstanceChannel::~SingleInstanceChannel() {
  if (listener_ >= 0) {
    delete notifier_;
    ::close(listener_);
    ::unlink(QFile::encodeName(socketPath_).constData());
  }
}

QString SingleInstanceChannel::defaultSocketPath() {
  QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::tempPath();
  QString display = qEnvironmentVariable("DISPLAY");
  display.replace(QRegularExpression("[^A-Za-z0-9.]"), "_");
  return QStringLiteral("%1/tavelkombrix-%2-%3.socket").arg(folder).arg(getuid()).arg(display);
}

SingleInstanceChannel::Role SingleInstanceChannel::claim() {
  // Two launches at the same moment must not both become the first: the lock orders them.
  QLockFile lock(socketPath_ + ".lock");
  lock.setStaleLockTime(kTimeoutMs * 2);
  if (!lock.tryLock(kTimeoutMs * 2)) {
    Diagnostics::line("⚠ Could not lock " + lock.fileName().toStdString() +
                      "; running as a separate instance");
    return Role::failed;
  }
  if (askRunningInstance()) return Role::secondary;
  return listen() ? Role::primary : Role::failed;
}

bool SingleInstanceChannel::askRunningInstance() {
  const auto address = addressOf(socketPath_);
  if (!address) return false;
  Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (socket.get() < 0) return false;
  if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0)
    return false;
  if (::send(socket.get(), kReopen.data(), kReopen.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(kReopen.size()))
    return false;
  // The running instance answers once it has taken the request, so this launch exits only when
  // the request is known to have arrived.
  if (!waitFor(socket.get(), POLLIN)) return false;
  char answer[8] = {};
  const ssize_t got = ::recv(socket.get(), answer, sizeof(answer) - 1, 0);
  return got >= 2 && std::string_view(answer, 2) == "ok";
}

bool SingleInstanceChannel::listen() {
  const auto address = addressOf(socketPath_);
  if (!address) {
    Diagnostics::line("⚠ Socket path too long: " + socketPath_.toStdString());
    return false;
  }
  Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (socket.get() < 0) {
    Diagnostics::line("⚠ " + errnoText("socket"));
    return false;
  }
  // Nobody answered on the path, so a socket there was left by an instance that is gone.
  ::unlink(address->sun_path);
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 ||
      ::chmod(address->sun_path, 0600) != 0 || ::listen(socket.get(), 8) != 0) {
    Diagnostics::line("⚠ Could not listen on " + socketPath_.toStdString() + ": " + std::strerror(errno));
    return false;
  }
  listener_ = socket.release();
  notifier_ = new QSocketNotifier(listener_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SingleInstanceChannel::acceptConnection);
  return true;
}

void SingleInstanceChannel::acceptConnection() {
  for (;;) {
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (connection < 0) return;
    auto* reader = new QSocketNotifier(connection, QSocketNotifier::Read, this);
    connect(reader, &QSocketNotifier::activated, this, [this, reader, connection] {
      reader->setEnabled(false);
      reader->deleteLater();
      readRequest(connection);
    });
  }
}

void SingleInstanceChannel::readRequest(int connection) {
  Descriptor socket(connection);
  char request[32] = {};
  const ssize_t got = ::recv(socket.get(), request, sizeof(request) - 1, 0);
  if (got != static_cast<ssize_t>(kReopen.size()) || std::string_view(request, got) != kReopen) return;
  ::send(socket.get(), kAnswer.data(), kAnswer.size(), MSG_NOSIGNAL);
  emit reopenRequested();
}

}  // namespace tk
