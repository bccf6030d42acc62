// The editor's way to the target machine: the WMI context that every dialog
// shares, and the agent's settings on that machine read and written through
// the registry provider StdRegProv in ROOT\DEFAULT, with the local settings
// store as the fallback for this machine.
//
// The target machine is the one the main dialog loaded: the "Windows
// Computer Name" field as it stood at the last LOAD (the dialog hands it over
// then, never per keystroke), or this machine when that name is blank or is
// the local machine name ("\\" + Win32_ComputerSystem.Name
// of this machine). ConnectWMIDB(kind) (re)connects to ROOT\DEFAULT (kind 1,
// registry work) or ROOT\CIMV2 (kind 2, queries and methods) on it and keeps
// that one current connection; callers bracket registry work between
// ConnectWMIDB(kRootDefault) and ConnectWMIDB(kRootCimv2).
//
// ReadRegKey/WriteRegKey address HKEY_LOCAL_MACHINE\<key path><name>, the key
// path chosen by the target's system type (Wow6432Node on a 64-bit target).
// A method answer with a non-zero ReturnValue counts as a failure. The
// success flag is cleared by a failed local access and by a write that could
// not be done at all; a batch of reads or writes goes on only while it is
// set. A write that fails is shown to the administrator ("twntcfg Error",
// naming the setting); reads fail silently (the log tells), and lastRead()
// says whether the setting was read, is not there, or could not be asked
// for, so that a caller never takes an unread setting for an empty one.
//
// Queries for the other dialogs run on the current connection through
// forEachObject(), which answers why a query failed.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "editor/editorlog.h"
#include "editor/uiport.h"
#include "platform/settings_store.h"
#include "platform/wmi_provider.h"

namespace tw::editor {

// ConnectWMIDB's namespace kinds.
inline constexpr int kRootDefault = 1;  // ROOT\DEFAULT: the registry provider
inline constexpr int kRootCimv2 = 2;    // ROOT\CIMV2: queries and methods

// The agent's settings key below HKEY_LOCAL_MACHINE, as a 32-bit program
// reaches it on a 32-bit target and on a 64-bit one.
inline constexpr const char* kKeyPath32 = "SOFTWARE\\Orvane Software\\Tallwatch\\twnt\\";
inline constexpr const char* kKeyPath64 =
    "SOFTWARE\\Wow6432Node\\Orvane Software\\Tallwatch\\twnt\\";

// Limits of the registry texts: a setting text below 102400 bytes, a value
// read directly from the local registry at most 79999 characters, the system
// type text at most 127 characters, a namespace path below 500 bytes.
inline constexpr size_t kSettingTextLimit = 102400;
inline constexpr size_t kLocalReadLimit = 80000;
inline constexpr size_t kSystemTypeMax = 127;
inline constexpr size_t kNamespacePathLimit = 500;

// How long a query waits for its next object before it counts as failed.
inline constexpr int kFetchTimeoutMs = 30000;

// What the last ReadRegKey found.
enum class ReadStatus {
    Read,      // the setting's text
    NotFound,  // the machine answered that the setting does not exist
    Failed,    // the machine could not be asked (no connection, dropped
               // channel, time-out) or the value could not be read
};

enum class QueryStatus {
    Done,          // every object was visited (or the visitor stopped)
    NotConnected,  // no current connection
    QueryFailed,   // the query could not run
    FetchFailed,   // an object could not be fetched
};

class WmiContext {
  public:
    // provider: this platform's WMI provider. store: the local settings
    // store, the fallback for this machine.
    WmiContext(platform::WmiProvider& provider, platform::SettingsStore& store,
               const EditorLog& log, UiPort& ui);
    ~WmiContext();

    // Starts the context: sets the WMI-initialised flag. The provider makes
    // its preparations (privileges, COM) at each connection, whose failure
    // is that connection's, so the start itself cannot fail. end() releases
    // the connection.
    void start();
    void end();
    bool initialised() const { return initialised_; }

    // The machine name the main dialog loads (its "Windows Computer Name"
    // field, handed over at LOAD); every later connection goes there.
    void setMachineField(std::string text) { machineField_ = std::move(text); }
    const std::string& machineField() const { return machineField_; }

    // Connects to the target machine (kRootDefault or kRootCimv2), replacing
    // the current connection; sets the connected flag. A failure shows
    // "Remote WMI connection to " NAME " failed." or "Local WMI connection
    // failed." with caption "twntcfg Error". A ROOT\CIMV2 connection fetches
    // the system type text while it is empty.
    void ConnectWMIDB(int kind);
    bool connected() const { return connected_; }
    // The current connection (nullptr while not connected).
    platform::WmiConnection* connection() { return connected_ ? current_.get() : nullptr; }

    // The setting's text on the target machine, empty when it cannot be
    // read; clears the success flag when a local read fails. lastRead()
    // tells an empty text from a missing or an unread setting.
    std::string ReadRegKey(std::string_view name);
    ReadStatus lastRead() const { return lastRead_; }
    // Writes the setting's text on the target machine; clears the success
    // flag and shows the failure when it cannot be written. Answers whether
    // the text was written.
    bool WriteRegKey(std::string_view name, std::string_view text);
    bool success() const { return success_; }

    // Win32_ComputerSystem.SystemType of the target (at most 127
    // characters); the target is 64-bit when it contains "64".
    const std::string& systemType() const { return systemType_; }
    void clearSystemType() { systemType_.clear(); }
    bool is64Bit() const { return systemType_.find("64") != std::string::npos; }
    // The key path ReadRegKey/WriteRegKey use now.
    const char* keyPath() const { return is64Bit() ? kKeyPath64 : kKeyPath32; }

    // "\\" + Win32_ComputerSystem.Name of this machine, looked up once (on a
    // connection of its own); empty when the lookup fails.
    const std::string& localMachineName();
    // Forgets the local machine name (looked up again on next need).
    void clearLocalMachineName() { localName_.clear(); }
    // The field when not blank, else the local machine name.
    std::string targetMachineName();
    // Whether the field is blank or equals the local machine name (exactly).
    bool targetIsLocal();

    // Runs a WQL query on the current connection and hands every object to
    // visit, which answers false to stop early.
    QueryStatus forEachObject(std::string_view wql,
                              const std::function<bool(const platform::WmiObject&)>& visit);

    const EditorLog& log() const { return log_; }
    UiPort& ui() { return ui_; }

  private:
    bool fieldBlank() const;
    // Connects to a namespace on a machine ("" for this one): the connection,
    // or nullptr.
    std::unique_ptr<platform::WmiConnection> connectTo(const std::string& machine, const char* ns);
    bool fetchSystemType(platform::WmiConnection& c);
    // The text, or why there is none: NotFound when the provider answered
    // without a value, Failed when it could not be asked.
    std::optional<std::string> wmireadregistry(const std::string& fullKey, ReadStatus& why);
    bool wmiwriteregistry(const std::string& fullKey, std::string_view text);
    bool wmicreatekey(const std::string& fullKey);
    void showWriteFailure(std::string_view name);

    platform::WmiProvider& provider_;
    platform::SettingsStore& store_;
    const EditorLog& log_;
    UiPort& ui_;
    bool initialised_ = false;
    bool connected_ = false;
    bool success_ = true;
    ReadStatus lastRead_ = ReadStatus::Read;
    std::unique_ptr<platform::WmiConnection> current_;
    std::string machineField_;
    std::string systemType_;
    std::string localName_;
};

}  // namespace tw::editor
