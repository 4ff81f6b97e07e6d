// SimulatedHotSync: the order of status events, transfers queued from inside events, file
// copies in both directions, injected failures and the user list.
#include "app/simulated_hotsync.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

class SimulatedHotSyncTest : public ::testing::Test {
 protected:
  SimulatedHotSyncTest() : sync_(dir_.File("root")) {
    std::filesystem::create_directories(dir_.File("root"));
    std::filesystem::create_directories(dir_.File("hh"));
    std::filesystem::create_directories(dir_.File("desk"));
    WriteFileBytes(dir_.File("hh/handheld.ini"), "[HotSync]\nUser=Ana Souza\n");
    WriteFileBytes(dir_.File("hh/comunica.dbf"), "request-bytes");
    sync_.SetStatusHandler([this](int32_t status, int32_t param) {
      std::string event = std::to_string(status) + "/" + std::to_string(param);
      if (status == kStatusSessionStart) {
        event += " " + sync_.PilotUserName();
        if (on_start_) on_start_();
      }
      if (status == kStatusTransferDone) {
        event += " " + std::to_string(sync_.CmdType()) + " " +
                 std::filesystem::path(sync_.CmdFilename()).filename().string();
        if (on_transfer_) on_transfer_();
      }
      events_.push_back(event);
    });
  }

  TempDir dir_;
  SimulatedHotSync sync_;
  std::vector<std::string> events_;
  std::function<void()> on_start_;
  std::function<void()> on_transfer_;
};

TEST_F(SimulatedHotSyncTest, NoEventsWhileSupportIsOff) {
  EXPECT_FALSE(sync_.RunSession(dir_.File("hh")));
  EXPECT_TRUE(events_.empty());
}

TEST_F(SimulatedHotSyncTest, TransfersRunInOrderAndJoinTheQueueFromEvents) {
  sync_.SetEnabled(true);
  WriteFileBytes(dir_.File("desk/PRODUTOS.DBF"), "products");
  on_start_ = [&] { sync_.ReceiveFile(dir_.File("desk/COMUNICA.DBF")); };
  bool queued = false;
  on_transfer_ = [&] {
    if (queued) return;
    queued = true;
    sync_.SendFile(dir_.File("desk/PRODUTOS.DBF"));
    sync_.ReceiveFile(dir_.File("desk/CONTAGEM.DBF"));  // the handheld has none
  };
  ASSERT_TRUE(sync_.RunSession(dir_.File("hh")));
  EXPECT_EQ(events_, (std::vector<std::string>{"1/0 Ana Souza", "3/1 4 COMUNICA.DBF",
                                               "3/1 3 PRODUTOS.DBF", "3/0 4 CONTAGEM.DBF",
                                               "2/0"}));
  // Received under the desktop's name; sent under the file's own name.
  EXPECT_EQ(ReadFileBytes(dir_.File("desk/COMUNICA.DBF")), "request-bytes");
  EXPECT_EQ(ReadFileBytes(dir_.File("hh/PRODUTOS.DBF")), "products");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("desk/CONTAGEM.DBF")));
}

TEST_F(SimulatedHotSyncTest, SendingReplacesTheHandheldTableWhateverItsCase) {
  sync_.SetEnabled(true);
  WriteFileBytes(dir_.File("desk/COMUNICA.DBF"), "marked");
  on_start_ = [&] { sync_.SendFile(dir_.File("desk/COMUNICA.DBF")); };
  sync_.RunSession(dir_.File("hh"));
  EXPECT_EQ(ReadFileBytes(dir_.File("hh/comunica.dbf")), "marked");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("hh/COMUNICA.DBF")));
}

TEST_F(SimulatedHotSyncTest, InjectedFailuresAndTheSendCommandType) {
  sync_.SetEnabled(true);
  sync_.SetSendCmdType(kCmdSentAlt);
  sync_.InjectFault({TransferKind::kReceive, "comunica.DBF", true});
  sync_.InjectFault({TransferKind::kSend, "PRODUTOS.DBF", false});
  WriteFileBytes(dir_.File("desk/PRODUTOS.DBF"), "products");
  on_start_ = [&] {
    sync_.ReceiveFile(dir_.File("desk/COMUNICA.DBF"));
    sync_.SendFile(dir_.File("desk/PRODUTOS.DBF"));
  };
  sync_.RunSession(dir_.File("hh"));
  EXPECT_EQ(events_, (std::vector<std::string>{"1/0 Ana Souza", "3/0 4 COMUNICA.DBF",
                                               "3/0 8 PRODUTOS.DBF", "2/0"}));
  // The interrupted receive left a cut file behind; the failed send left the handheld alone.
  EXPECT_EQ(ReadFileBytes(dir_.File("desk/COMUNICA.DBF")), "reques");
  EXPECT_FALSE(std::filesystem::exists(dir_.File("hh/PRODUTOS.DBF")));
  sync_.ClearFaults();
  events_.clear();
  sync_.RunSession(dir_.File("hh"));
  EXPECT_EQ(events_[1], "3/1 4 COMUNICA.DBF");
}

TEST_F(SimulatedHotSyncTest, TransfersOutsideASessionAreIgnored) {
  sync_.SetEnabled(true);
  sync_.ReceiveFile(dir_.File("desk/COMUNICA.DBF"));
  sync_.RunSession(dir_.File("hh"));
  EXPECT_EQ(events_, (std::vector<std::string>{"1/0 Ana Souza", "2/0"}));
}

TEST_F(SimulatedHotSyncTest, AHandheldNeedsItsIniNamingTheUser) {
  sync_.SetEnabled(true);
  EXPECT_THROW(sync_.RunSession(dir_.File("nowhere")), HotSyncError);
  std::filesystem::create_directories(dir_.File("bare"));
  EXPECT_THROW(sync_.RunSession(dir_.File("bare")), HotSyncError);
  WriteFileBytes(dir_.File("bare/HANDHELD.INI"), "[hotsync]\nuser = Bruno\n");
  EXPECT_TRUE(sync_.RunSession(dir_.File("bare")));
  EXPECT_EQ(events_.front(), "1/0 Bruno");
}

TEST_F(SimulatedHotSyncTest, UserListComesFromUsersTxt) {
  HotSyncUser user;
  EXPECT_EQ(sync_.GetFirstUser(user), 0);
  WriteFileBytes(dir_.File("root/users.txt"), "Ana Souza\tSouzaA\r\n\r\nBruno\t  LimaB \nloose\n");
  ASSERT_GT(sync_.GetFirstUser(user), 0);
  EXPECT_EQ(user.name, "Ana Souza");
  EXPECT_EQ(user.folder, "SouzaA");
  ASSERT_NE(sync_.GetNextUser(user), 0);
  EXPECT_EQ(user.name, "Bruno");
  EXPECT_EQ(user.folder, "  LimaB ");
  ASSERT_NE(sync_.GetNextUser(user), 0);
  EXPECT_EQ(user.name, "loose");
  EXPECT_EQ(user.folder, "");
  EXPECT_EQ(sync_.GetNextUser(user), 0);
}

}  // namespace
}  // namespace quarvel
