// The Windows program's own parts against the real system: its command line, the token file's
// rule (the file's access list), and the hold that keeps Windows awake during a run.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <string>
#include <vector>

#include "outputs/network/network_host.h"
#include "outputs/win32/access_list.h"
#include "platform/win32/keep_awake.h"
#include "platform/win32/program_options.h"

namespace {

TEST(ProgramOptionsTest, TheLinuxProgramsOptionsWhereTheyApplyAndComNamesAboveCom4) {
  const struct {
    std::vector<std::string> args;
    bool ok;
    bool any;            // the menu gains the ledger item
    std::string expect;  // error text, or what the options hold
  } cases[] = {
      {{}, true, false, ""},
      {{"--com", "1=COM7", "--com=2=com12"}, true, true, "1:7 2:12"},
      {{"--ledger"}, true, true, ""},
      {{"--csv", "--sequence-byte", "--json", "events.jsonl"}, true, true, "csv json=events.jsonl"},
      {{"--http", "9100", "--mqtt", "localhost", "--mqtt-topic", "lab/a"},
       true,
       true,
       "http=127.0.0.1:9100 mqtt=localhost:1883 lab/a"},
      // Without a standard output the JSON Lines need a file.
      {{"--json"}, false, false, "--json needs a FILE (for example --json events.jsonl)"},
      {{"--com", "1=COM0"},
       false,
       false,
       "--com: \"1=COM0\" is not N=COMx with N and x from 1 to 255 (for example 1=COM7)"},
      {{"--com", "1=/dev/ttyUSB0"},
       false,
       false,
       "--com: \"1=/dev/ttyUSB0\" is not N=COMx with N and x from 1 to 255 (for example 1=COM7)"},
      {{"--mqtt-topic", "lab"}, false, false, "--mqtt-topic and --mqtt-discovery need --mqtt"},
      {{"--headless"}, false, false, "unknown or incomplete option \"--headless\""},
      // Service mode: the window alone, its runs rotated.
      {{"--run", "--rotate", "2s"}, true, false, "run 2"},
      {{"--rotate", "daily"}, false, false, "--rotate needs --run"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    ProgramOptions o;
    std::string error;
    ASSERT_EQ(ParseProgramOptions(c.args, &o, &error), c.ok) << error;
    if (!c.ok) {
      EXPECT_EQ(error, c.expect);
      continue;
    }
    EXPECT_EQ(o.Any(), c.any);
    std::string held;
    for (const auto& [port, com] : o.com)
      held += (held.empty() ? "" : " ") + std::to_string(port) + ":" + std::to_string(com);
    if (o.outputs.csv) held += "csv";
    if (o.outputs.json) held += " json=" + o.outputs.json_file;
    const NetworkOptions& n = o.outputs.network;
    if (n.http)
      held += "http=" + n.http_endpoint.address + ":" + std::to_string(n.http_endpoint.port);
    if (n.mqtt)
      held += " mqtt=" + n.mqtt_endpoint.host + ":" + std::to_string(n.mqtt_endpoint.port) + " " +
              n.mqtt_topic;
    if (o.run) held += "run " + std::to_string(o.rotation.every_s);
    EXPECT_EQ(held, c.expect);
  }
  // The help text names the Windows options and not the Linux program's modes.
  const std::string usage = ProgramUsage();
  for (const char* option :
       {"--com N=COMx", "--json FILE", "--ledger", "--mqtt-discovery", "--run"})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  EXPECT_EQ(usage.find("--headless"), std::string::npos);
}

// A token file holds a secret: refused while a group of users may read or change it.
TEST(TokenFileTest, AFileThatGroupsOfUsersMayReadOrChangeIsRefused) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  BYTE user_buffer[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user_buffer, sizeof user_buffer, &size));
  CloseHandle(token);
  const PSID owner = reinterpret_cast<TOKEN_USER*>(user_buffer)->User.Sid;
  // An access list of the owner's full access and these others'.
  const auto make_acl = [owner](const std::vector<std::pair<WELL_KNOWN_SID_TYPE, DWORD>>& others) {
    std::vector<BYTE> sids(others.size() * SECURITY_MAX_SID_SIZE);
    std::vector<EXPLICIT_ACCESSW> entries(1 + others.size());
    entries[0] = {GENERIC_ALL, SET_ACCESS, NO_INHERITANCE, {}};
    BuildTrusteeWithSidW(&entries[0].Trustee, owner);
    for (std::size_t i = 0; i < others.size(); ++i) {
      PSID sid = &sids[i * SECURITY_MAX_SID_SIZE];
      DWORD sid_size = SECURITY_MAX_SID_SIZE;
      CreateWellKnownSid(others[i].first, nullptr, sid, &sid_size);
      entries[i + 1] = {others[i].second, SET_ACCESS, NO_INHERITANCE, {}};
      BuildTrusteeWithSidW(&entries[i + 1].Trustee, sid);
    }
    PACL acl = nullptr;
    SetEntriesInAclW(static_cast<ULONG>(entries.size()), entries.data(), nullptr, &acl);
    return acl;
  };
  const struct {
    const char* name;
    std::vector<std::pair<WELL_KNOWN_SID_TYPE, DWORD>> others;
    bool shared;
  } cases[] = {
      {"the owner alone", {}, false},
      {"the owner, the system and the administrators",
       {{WinLocalSystemSid, GENERIC_ALL}, {WinBuiltinAdministratorsSid, GENERIC_ALL}},
       false},
      {"everyone may only see its attributes", {{WinWorldSid, FILE_READ_ATTRIBUTES}}, false},
      {"everyone may read", {{WinWorldSid, GENERIC_READ}}, true},
      {"every local user may read", {{WinBuiltinUsersSid, FILE_READ_DATA}}, true},
      {"every signed-in user may change it", {{WinAuthenticatedUserSid, FILE_WRITE_DATA}}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const PACL acl = make_acl(c.others);
    ASSERT_NE(acl, nullptr);
    EXPECT_EQ(GroupsMayUse(acl), c.shared);
    LocalFree(acl);
  }
  EXPECT_TRUE(GroupsMayUse(nullptr)) << "no access list lets everybody in";

  // A real file that everyone may read is refused, and so is a missing one, each with a reason.
  const std::string path = "token-" + std::to_string(GetCurrentProcessId()) + ".txt";
  const std::wstring wide(path.begin(), path.end());
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "s3cret\n", 7, &written, nullptr);
  const PACL everyone = make_acl({{WinWorldSid, GENERIC_READ}});
  EXPECT_EQ(SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            everyone, nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  LocalFree(everyone);
  CloseHandle(file);
  for (const std::string& name : {path, std::string("no-such-token.txt")}) {
    std::string text;
    std::string why;
    EXPECT_FALSE(ReadPrivateFile(name, 4096, &text, &why)) << name;
    EXPECT_FALSE(why.empty()) << name;
  }
  DeleteFileW(wide.c_str());
}

// The hold on sleep follows the run, however it ends. SetThreadExecutionState without
// ES_CONTINUOUS changes nothing and tells the state.
TEST(KeepAwakeTest, ARunHoldsTheSystemAwakeUntilItEnds) {
  const auto state = [] {
    return SetThreadExecutionState(0) & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  };
  const DWORD held = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
  {
    KeepAwake awake;
    awake.OnRunStarted();
    EXPECT_EQ(state(), held);
    awake.OnRunStopped(0);
    EXPECT_EQ(state(), static_cast<DWORD>(ES_CONTINUOUS));
    awake.OnRunStarted();
    EXPECT_EQ(state(), held);
  }
  // A program that ends during a run lets go too.
  EXPECT_EQ(state(), static_cast<DWORD>(ES_CONTINUOUS));
}

}  // namespace
