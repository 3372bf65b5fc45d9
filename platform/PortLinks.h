#pragma once
// The serial devices of this computer and the port links COM<N> that give
// them a port number: what is plugged in (with its stable name under
// /dev/serial/by-id), what each port number 1..9 points to now, and making
// or replacing the link COM<N> in the settings folder.

#include <QList>
#include <QString>

/// The folder of stable device names the system keeps for USB adapters.
inline QString defaultByIdFolder() { return QStringLiteral("/dev/serial/by-id"); }

/// One serial device, plugged in or remembered by a link that points nowhere.
struct SerialDevice
{
    QString systemPath;     ///< the device node, such as /dev/ttyUSB0 (empty when unplugged)
    QString byIdPath;       ///< its stable name in the by-id folder, when it has one
    QString description;    ///< as the system describes it, may be empty
    QString manufacturer;   ///< may be empty
    QString serialNumber;   ///< may be empty
    bool present = true;    ///< false: an adapter that is unplugged (its link points nowhere)

    /// What a port link should point to: the stable name when there is one.
    QString linkTarget() const { return byIdPath.isEmpty() ? systemPath : byIdPath; }
};

/// The serial devices present, as the serial port library lists them, and
/// every entry of `byIdFolder`: its link joins the device it points to, a
/// link to a device the library does not list (a pseudo-terminal) is a
/// device of its own, and a link that points nowhere is an unplugged
/// adapter. Sorted by stable name, then by device node.
QList<SerialDevice> listSerialDevices(const QString &byIdFolder = defaultByIdFolder());

/// What port number N points to.
struct PortAssignment
{
    enum class Kind {
        System,     ///< no COM<N> in the folder: the system's own port
        Link,       ///< a link to a device that is there
        Dangling,   ///< a link that points nowhere (an unplugged adapter)
        File,       ///< COM<N> is a file or a device itself, not a link
    };
    int port = 0;
    Kind kind = Kind::System;
    QString linkPath;       ///< <folder>/COM<N>
    QString target;         ///< the link's text, or the system port for Kind::System
    QString device;         ///< the device reached (the final target), empty when none
    bool ownedByUser = true;///< COM<N> belongs to the current user
    bool trusted = true;    ///< COM<N> belongs to the user or root (isTrustedOwner()):
                            ///< only then is it followed or opened
    QString owner;          ///< the user COM<N> belongs to (empty for Kind::System)
};

/// The assignment of port `port` in `folder` (the settings folder). The
/// system port is /dev/ttyS<N-1> (COM<N> on Windows).
PortAssignment portAssignment(const QString &folder, int port);

/// Why makePortLink() refused; the caller words it in its language.
struct PortLinkRefusal
{
    enum class Reason {
        None,
        BadPortNumber,  ///< `port` is not 1 to 9
        NoDevice,       ///< no target given
        NotALink,       ///< COM<N> is a file, folder or device: left as it is
        OtherUsersLink, ///< COM<N> is a link of `owner`: left as it is
        SystemError,    ///< the system refused `path`: `systemText` says why
        NoTemporaryName,///< every temporary name in the folder was taken
        Unsupported,    ///< no links on this system
    };
    Reason reason = Reason::None;
    int port = 0;
    QString path;       ///< native path of the entry (or temporary name) concerned
    QString owner;      ///< OtherUsersLink: the link's owner
    QString systemText; ///< SystemError: the system's description
};

/// Makes `<folder>/COM<port>` a link to `target`, replacing a link that is
/// there. The new link is made under a temporary name beside it and renamed
/// over the old one, so COM<port> is always either the old or the new link
/// and nothing is ever written through a link. Refused (false, `refusal`
/// set) when COM<port> is a file, a folder or a link of another user.
bool makePortLink(const QString &folder, int port, const QString &target, PortLinkRefusal *refusal = nullptr);
