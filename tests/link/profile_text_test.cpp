#include "link/profile_text.h"

#include <gtest/gtest.h>

#include <string>

namespace flash {
namespace {

TEST(ProfileText, FindsSectionsAndKeysWhateverTheirCase) {
  const ProfileText profile("[Serial Interface]\nComPort = COM3\n");
  EXPECT_EQ(profile.Get("SERIAL INTERFACE", "COMPORT"), "COM3");
  EXPECT_EQ(profile.Get("serial interface", "comport"), "COM3");
}

TEST(ProfileText, RemovesTheBlanksAroundValuesAndNames) {
  const ProfileText profile("  [ A ]  \r\n\t key \t=\t  some value \t\r\n");
  EXPECT_EQ(profile.Get("A", "KEY"), "some value");
}

TEST(ProfileText, AnswersNothingForAMissingSectionOrKey) {
  const ProfileText profile("[A]\nx=1\n[B]\ny=2\n");
  EXPECT_FALSE(profile.Get("C", "x").has_value());
  EXPECT_FALSE(profile.Get("A", "y").has_value());
  EXPECT_FALSE(profile.Get("B", "x").has_value());
}

TEST(ProfileText, TakesTheFirstOfTwoEqualKeys) {
  const ProfileText profile("[A]\nx=1\nX=2\n[a]\nx=3\n");
  EXPECT_EQ(profile.Get("A", "x"), "1");
}

TEST(ProfileText, IgnoresCommentsKeysOutsideSectionsAndLinesWithoutEquals) {
  const ProfileText profile("x=0\n[A]\n;x=1\njunk\nx=2\n");
  EXPECT_EQ(profile.Get("A", "x"), "2");
}

TEST(ProfileText, ReadsAFileThatBeginsWithAByteOrderMark) {
  const ProfileText profile("\xEF\xBB\xBF[A]\r\nx=1\r\n");
  EXPECT_EQ(profile.Get("A", "x"), "1");
}

TEST(ProfileText, KeepsEveryByteWhenNothingIsSet) {
  using namespace std::string_literals;
  const std::string text = "; comment\r\n[A]\nx = 1 \n\n[B]\r\n\0\xff odd line\nlast"s;
  EXPECT_EQ(ProfileText(text).Text(), text);
}

TEST(ProfileText, ReplacesOnlyTheLineOfTheKeyItSets) {
  ProfileText profile("; top\n[A]\n  Key = old ; not a comment\nother=1\n[B]\nkey=b\n");
  profile.Set("a", "KEY", "new");
  EXPECT_EQ(profile.Text(), "; top\n[A]\nKey=new\nother=1\n[B]\nkey=b\n");
}

TEST(ProfileText, AddsAMissingKeyAtTheEndOfItsSection) {
  ProfileText profile("[A]\nx=1\n\n[B]\ny=2\n");
  profile.Set("A", "z", "3");
  EXPECT_EQ(profile.Text(), "[A]\nx=1\nz=3\n\n[B]\ny=2\n");
}

TEST(ProfileText, AddsAMissingSectionAtTheEndInTheFilesLineEndings) {
  ProfileText profile("[A]\r\nx=1");
  profile.Set("B", "y", "2");
  EXPECT_EQ(profile.Text(), "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
}

TEST(ProfileText, StartsAnEmptyFileWithTheSection) {
  ProfileText profile;
  profile.Set("A", "x", "1");
  EXPECT_EQ(profile.Text(), "[A]\nx=1\n");
}

TEST(ProfileText, DropsLineBreaksFromAValueSoItCannotPlantAKey) {
  ProfileText profile("[A]\nx=1\n");
  profile.Set("A", "x", "10.0.0.1\r\n[B]\nplanted=1");
  EXPECT_FALSE(profile.Get("B", "planted").has_value());
  EXPECT_EQ(profile.Text(), "[A]\nx=10.0.0.1[B]planted=1\n");
}

}  // namespace
}  // namespace flash
