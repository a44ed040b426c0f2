// A Qt generic plugin of the kind any user can write and name in QT_PLUGIN_PATH and
// QT_QPA_GENERIC_PLUGINS. When loaded it tries to open a packet socket and writes the outcome
// ("opened", or "refused <errno>") to the file named by VELMORA_PROBE_RESULT, so a test can
// tell whether code a user slips into the program finds a capability left to use.

#include <QGenericPlugin>
#include <QObject>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <sys/socket.h>
#include <unistd.h>

namespace {

void probe()
{
    const char* path = std::getenv("VELMORA_PROBE_RESULT");
    if (path == nullptr)
        return;
    const int handle = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    const int error = errno;
    if (FILE* result = std::fopen(path, "w")) {
        if (handle >= 0)
            std::fprintf(result, "opened\n");
        else
            std::fprintf(result, "refused %d\n", error);
        std::fclose(result);
    }
    if (handle >= 0)
        ::close(handle);
}

// Runs as soon as the library is loaded, before Qt asks it for anything.
const bool probed = (probe(), true);

} // namespace

class SocketProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "socket_probe.json")
public:
    QObject* create(const QString&, const QString&) override
    {
        probe(); // once more, from the plugin's own code path
        return nullptr;
    }
};

#include "socket_probe.moc"
