// mqo2bmdl as the build runs it: the sample cube converts to a binary model
// the engine reads; bad input gives one located line, status 1 and no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "model/model.h"
#include "support/support.h"

using testing_support::builtProgram;
using testing_support::runCommand;
using testing_support::TempDir;

namespace fs = std::filesystem;

namespace {

TEST(Mqo2bmdl, ConvertsTheSampleCube) {
  TempDir dir;
  const auto source = testing_support::sourceFile("production/data/model/cube.mqo");
  ASSERT_FALSE(source.empty());
  testing_support::writeFile(dir.file("cube.mqo"), source);
  const auto r = runCommand(builtProgram("mqo2bmdl") + " " + dir.file("cube.mqo") + " " + dir.file("cube.bmdl"));
  ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
  EXPECT_EQ(r.stdErr, "");
  const auto bytes = testing_support::readFile(dir.file("cube.bmdl"));
  MqoModel model;
  std::string reason;
  ASSERT_TRUE(parseBinaryModel(bytes.data(), bytes.size(), model, reason)) << reason;
  ASSERT_EQ(model.objects.size(), 1u);
  EXPECT_EQ(model.objects[0].name, "cube");
  EXPECT_EQ(model.objects[0].faceCount, 12u);
  EXPECT_EQ(model.materials.size(), 2u);
  EXPECT_EQ(model.points.count("cube"), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// A model as a modeller saves it: a helper object hidden, a material with
// settings the binary model has no place for.
TEST(Mqo2bmdl, HiddenObjectsAreLeftOutUnlessKeptAndDroppedAttributesWarn) {
  TempDir dir;
  const std::string tri = "\tvertex 3 {\n\t\t0 0 0\n\t\t1 0 0\n\t\t0 1 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2)\n\t}\n}\n";
  testing_support::writeFile(
      dir.file("fig.mqo"),
      testing_support::bytes("Metasequoia Document\nFormat Text Ver 1.0\nMaterial 1 {\n"
                             "\t\"skin\" col(1 1 1 1) aplane(0 1 0 0) bump(\"b.png\")\n}\n"
                             "Object \"body\" {\n\tvisible 15\n" +
                             tri + "Object \"guide\" {\n\tvisible 0\n" + tri + "Eof\n"));
  const std::string in = dir.file("fig.mqo");
  const std::string warnings = in + ":4: warning: material attribute \"aplane\" is not converted; left out\n" + in +
                               ":4: warning: material attribute \"bump\" is not converted; left out\n";
  struct Case {
    const char* option;
    std::string stdErr;
    size_t objects;
  } cases[] = {
      {"", warnings + in + ": object \"guide\" is hidden (visible 0): left out\n", 1},
      {"--keep-hidden ", warnings, 2},
  };
  for (const Case& c : cases) {
    const auto r = runCommand(builtProgram("mqo2bmdl") + " " + c.option + in + " " + dir.file("fig.bmdl"));
    ASSERT_EQ(r.exitStatus, 0) << r.stdErr;
    EXPECT_EQ(r.stdErr, c.stdErr);
    const auto bytes = testing_support::readFile(dir.file("fig.bmdl"));
    MqoModel model;
    std::string reason;
    ASSERT_TRUE(parseBinaryModel(bytes.data(), bytes.size(), model, reason)) << reason;
    EXPECT_EQ(model.objects.size(), c.objects) << c.option;
  }
}

TEST(Mqo2bmdl, BadInputLeavesNoOutput) {
  TempDir dir;
  testing_support::writeFile(dir.file("bad.mqo"),
                             testing_support::bytes("Metasequoia Document\nFormat Text Ver 1.0\nObject \"o\" {\n"
                                                    "\tvertex 1 {\n\t\t0 0 0\n\t}\n\tface 1 {\n\t\t3 V(0 1 2)\n"));
  const std::string tool = builtProgram("mqo2bmdl");
  auto r = runCommand(tool + " " + dir.file("bad.mqo") + " " + dir.file("bad.bmdl"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr, dir.file("bad.mqo") + ":8: vertex index 1 out of range (1 vertices)\n");
  EXPECT_FALSE(fs::exists(dir.file("bad.bmdl")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  // An earlier output stays as it was.
  testing_support::writeFile(dir.file("old.bmdl"), testing_support::bytes("old"));
  r = runCommand(tool + " " + dir.file("bad.mqo") + " " + dir.file("old.bmdl"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(testing_support::readFile(dir.file("old.bmdl")), testing_support::bytes("old"));

  r = runCommand(tool + " " + dir.file("missing.mqo") + " " + dir.file("x.bmdl"));
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.stdErr.rfind(dir.file("missing.mqo") + ":0: cannot read", 0), 0u) << r.stdErr;
  r = runCommand(tool + " --help");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_NE(r.stdOut.find("effect(\"PATH\")"), std::string::npos);
  EXPECT_NE(r.stdOut.find("clockwise as seen from"), std::string::npos) << "the face order is stated";
  EXPECT_EQ(runCommand(tool).exitStatus, 2);
}

}  // namespace
