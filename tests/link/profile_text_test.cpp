#include "link/profile_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace flash {
namespace {

using namespace std::string_literals;

TEST(ProfileText, ReadsTheFirstKeyOfItsSectionWhateverTheCaseAndTheBlanks) {
  const ProfileText profile(
      "\xEF\xBB\xBF  [ Serial Interface ]  \r\n;ComPort=COM9\njunk\n"
      "\t ComPort \t=\t  COM3 \t\r\nCOMPORT=COM4\n[B] ; comes before [C]\ny=2\n"
      "[serial interface]\ncomport=COM5\n");
  EXPECT_EQ(profile.Get("SERIAL INTERFACE", "COMPORT"), "COM3");
  EXPECT_EQ(profile.Get("serial interface", "comport"), "COM3");
  EXPECT_EQ(profile.Get("B", "y"), "2") << "a comment after the section name";
  EXPECT_FALSE(profile.Get("C", "y").has_value());
  EXPECT_FALSE(profile.Get("B", "comport").has_value());
  EXPECT_FALSE(ProfileText("x=0\n[A]\n").Get("A", "x").has_value()) << "a key outside any section";
}

TEST(ProfileText, WritesBackEveryByteButTheLineOfTheKeyItSets) {
  const std::string untouched = "; comment\r\n[A]\nx = 1 \n\n[B]\r\n\0\xff odd line\nlast"s;
  EXPECT_EQ(ProfileText(untouched).Text(), untouched);

  const std::vector<std::tuple<std::string, std::string, std::string, std::string>> cases = {
      // before, section, key=value, after
      {"; top\n[A]\n  Key = old ; not a comment\nother=1\n[B]\nkey=b\n", "a", "KEY=new",
       "; top\n[A]\nKey=new\nother=1\n[B]\nkey=b\n"},
      {"[A]\nx=1\n\n[B]\ny=2\n", "A", "z=3", "[A]\nx=1\nz=3\n\n[B]\ny=2\n"},
      {"[A]\r\nx=1", "B", "y=2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
      {"", "A", "x=1", "[A]\nx=1\n"},
  };
  for (const auto& [before, section, assignment, after] : cases) {
    ProfileText profile(before);
    const std::size_t equals = assignment.find('=');
    profile.Set(section, assignment.substr(0, equals), assignment.substr(equals + 1));
    EXPECT_EQ(profile.Text(), after) << before;
  }
}

}  // namespace
}  // namespace flash
