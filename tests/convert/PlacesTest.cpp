// Where the programs find the engine libraries, the conversion tables and
// the read-me: beside themselves first, then in their installation's
// folders, found from the program's folder (a tree laid out as an
// installation is, under a scratch folder).
#include <sys/stat.h>

#include <fstream>

#include "ConvertTestUtil.h"
#include "Dictionary.h"
#include "Tablerw.h"
#include "util/Places.h"
#include "util/ProgramFolder.h"

namespace vk {
namespace {

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
    if (slash == std::string::npos) break;
  }
}

void Touch(const std::string& path) { std::ofstream(path) << ""; }

void CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  ASSERT_TRUE(in) << from;
  std::ofstream(to, std::ios::binary) << in.rdbuf();
}

class PlacesTest : public ::testing::Test {
 protected:
  PlacesTest() : bin_(dir_.Path("usr/bin")) {
    MakeFolders(bin_);
    libs_ = EngineFolders(bin_).at(1);
    data_ = DataFolders(bin_).at(1);
    MakeFolders(libs_);
    MakeFolders(data_);
  }
  vktest::TempDir dir_;
  std::string bin_, libs_, data_;
};

TEST_F(PlacesTest, TheInstalledFoldersLieUnderThePrefixOfTheProgramsFolder) {
  EXPECT_EQ(EngineFolders(bin_).front(), bin_);
  EXPECT_EQ(DataFolders(bin_).front(), bin_);
  // Beside usr/bin: usr/lib... and usr/share/voka, with no ".." left.
  const std::string usr = dir_.Path("usr/");
  EXPECT_EQ(libs_.compare(0, usr.size() + 3, usr + "lib"), 0) << libs_;
  EXPECT_EQ(data_, usr + "share/voka");
  EXPECT_EQ(libs_.find(".."), std::string::npos) << libs_;
  EXPECT_TRUE(EngineFolders("").empty());
}

TEST_F(PlacesTest, AnEngineBesideTheProgramComesBeforeTheInstalledOne) {
  // Found nowhere: the program's folder, for the loader's own message.
  EXPECT_EQ(EngineFolderIn(bin_, "", "VKCU8L.DLL"), bin_);
  Touch(libs_ + "/libVKCU8L.so");
  EXPECT_EQ(EngineFolderIn(bin_, "", "VKCU8L.DLL"), libs_);
  EXPECT_EQ(EngineFolderIn(bin_, "", "VKC620.DLL"), bin_) << "another engine is not there";
  Touch(bin_ + "/libVKCU8L.so");
  EXPECT_EQ(EngineFolderIn(bin_, "", "VKCU8L.DLL"), bin_);
  // A folder chosen is the one folder looked in.
  EXPECT_EQ(EngineFolderIn(bin_, "/elsewhere", "VKCU8L.DLL"), "/elsewhere");
}

TEST_F(PlacesTest, TablesBesideTheProgramComeBeforeTheInstalledOnes) {
  const std::string table = JoinPath(ProgramFolder(), "cp932.tbl");
  EXPECT_EQ(TableFolder(bin_), bin_) << "no table anywhere";
  // A file that is no table does not make a folder the tables' one.
  std::ofstream(bin_ + "/notes.txt") << "no table here\n";
  CopyFile(table, data_ + "/cp932.tbl");
  EXPECT_EQ(TableFolder(bin_), data_);
  CopyFile(table, bin_ + "/cp932.tbl");
  EXPECT_EQ(TableFolder(bin_), bin_);
  // The read-me: where it is, beside the program first.
  Touch(data_ + "/Vkcv.txt");
  EXPECT_EQ(FolderWithFile(DataFolders(bin_), "Vkcv.txt"), data_);
  Touch(bin_ + "/Vkcv.txt");
  EXPECT_EQ(FolderWithFile(DataFolders(bin_), "Vkcv.txt"), bin_);
}

}  // namespace
}  // namespace vk
