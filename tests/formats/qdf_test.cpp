// Scene animation files: the word reader, the model and scene blocks with
// their mends for bad data, key evaluation, and the resource over a pack.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "files/files.h"
#include "formats/formats.h"
#include "model/model.h"
#include "support/support.h"

// A model resource without GL: takes any ".bmdl" entry, keeping only its name.
class testQdfModel : public resMQO {
  VESPER_DECLARE_DYNAMIC(testQdfModel)
 public:
  bool load(CoreFileStream& stream) override { return resourceObject::load(stream); }
};
VESPER_IMPLEMENT_DYNAMIC(testQdfModel, resMQO)

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Runs `ops` on a reader over the first `size` bytes of `text`: 't' reads a
// token, 's' skips a block. Tokens joined by '|', "$" once exhausted.
std::string readTokens(const std::string& text, size_t size, const std::string& ops) {
  SceneTokenReader reader(text.data(), size);
  std::string out;
  const char* separator = "";
  for (char op : ops) {
    if (op == 's') {
      reader.skipBlock();
      continue;
    }
    std::string_view token;
    const bool more = reader.next(token);
    out += separator;
    out += more ? std::string(token) : "$";
    separator = "|";
  }
  return out;
}

TEST(SceneTokenReader, SplitsCutsSkipsAndStopsAtTheEnd) {
  struct Row {
    std::string text;
    size_t size;  // 0: the whole text
    std::string ops;
    std::string tokens;
  };
  const Row rows[] = {
      {" a\tbb\r\n c\vd\fe ", 0, "tttttt", "a|bb|c|d|e|$"},
      {"a(1 x", 0, "ttt", "a|1|x"},
      {"(MQO) {", 0, "tttt", "|MQO|{|$"},
      {"a()b", 0, "tttt", "a||b|$"},
      {"a(", 0, "tt", "a|$"},
      {"\"name (x)\"", 0, "ttttt", "\"name||x|\"|$"},
      {std::string("ab\0cd", 5), 5, "tt", "ab|$"},          // NUL ends the text
      {"abc def", 5, "ttt", "abc|d|$"},                     // no terminator: stops at the size
      {"", 0, "tt", "$|$"},
      {"{ a { b } c } d", 0, "st", "d"},                    // nested block
      {"{ a(b } c", 0, "st", "c"},                          // raw words: "a(b" is one
      {"x { } y", 0, "st", "{"},                            // not a brace: one word skipped
      {"f({ h } i", 0, "tst", "f|i"},                       // the pending rest opens the block
      {"{ a { b", 0, "st", "$"},                            // unclosed block ends at the end
  };
  for (const Row& row : rows) {
    const size_t size = row.size ? row.size : row.text.size();
    EXPECT_EQ(readTokens(row.text, size, row.ops), row.tokens) << '"' << row.text << '"';
  }
}

// Counts live instances, so a released model shows.
class CountedModel : public resMQO {
 public:
  CountedModel() { ++live; }
  ~CountedModel() override { --live; }
  static int live;
};
int CountedModel::live = 0;

struct Parsed {
  QdfData data;
  std::vector<std::string> log;  // the problems, as "LINE: reason"
  std::vector<std::string> loaded;
  int progress = 0;
  ~Parsed() { releaseQdfModels(data); }
};

// Parses `text` (without a terminator); models load as unloaded resMQO
// objects, each holding one reference, except that a name containing
// "body" loads a model of one object named "body".
void parse(const std::string& text, Parsed& out) {
  std::vector<char> bytes(text.begin(), text.end());
  std::vector<QdfProblem> problems;
  parseQdfText(
      bytes.data(), bytes.size(), out.data,
      [&out](const std::string& name) {
        out.loaded.push_back(name);
        if (name.find("body") != std::string::npos) {
          auto model = std::make_unique<MqoModel>();
          model->objects.emplace_back().name = "body";
          return resMQO::holdingModelOnly(std::move(model));
        }
        return static_cast<resMQO*>((new CountedModel)->addRef());
      },
      [&out] { ++out.progress; }, &problems);
  for (const QdfProblem& p : problems) out.log.push_back(std::to_string(p.line) + ": " + p.reason);
}

TEST(QdfParse, ModelBlockCommentsSlotsAndCount) {
  const std::string text =
      "QScene Demo File\nFormat Text Ver 1.0\nmade by hand\nMQO {\n"
      "  0 \"data\\model\\a.mqo\"\n"
      "  #3 \"data\\model\\b.mqo\"\n"
      "  # 4 \"data\\model\\c.mqo\"\n"
      "  7 \"d.mqo\"\n"
      "  300 \"far.mqo\"\n"
      "  -2 \"neg.mqo\"\n"
      "  7 \"e.mqo\"\n"
      "}\nEof\n";
  Parsed p;
  parse(text, p);
  EXPECT_THAT(p.loaded, ElementsAre("data\\model\\a.mqo", "d.mqo", "e.mqo"));
  EXPECT_EQ(p.progress, 3);
  EXPECT_NE(p.data.models[0], nullptr);
  EXPECT_EQ(p.data.models[3], nullptr);
  EXPECT_EQ(p.data.models[4], nullptr);
  ASSERT_NE(p.data.models[7], nullptr);
  EXPECT_EQ(CountedModel::live, 2) << "the replaced load was released, the last kept";
  EXPECT_THAT(p.log, ElementsAre("9: model slot 300 outside 0-255, \"far.mqo\" skipped",
                                 "10: model slot -2 outside 0-255, \"neg.mqo\" skipped"));
  EXPECT_EQ(countQdfModels(text.data(), text.size()), 7) << "commented and skipped lines count";
  EXPECT_TRUE(p.data.scenes.empty());
  releaseQdfModels(p.data);
  EXPECT_EQ(CountedModel::live, 0);
}

TEST(QdfParse, ScenesObjectsAndKeys) {
  // No model block, no Eof; the camera's parts hold keys, other objects have
  // no model and so no parts.
  const std::string text =
      "QScene Demo File\n"
      "Scene \"intro\" {\n"
      "  Object -1 {\n"
      "    CameraTrans 1\n    Visible 2\n    DataNum 2\n    Time { 0.5 +2.5e1 }\n"
      "    Part \"camera_pos\" {\n"
      "      Position { 1 2 3 4 5 6 }\n      Rotation { 0.1 0.2 0.3 -0.1 -0.2 -0.3 }\n"
      "      Scale { 2 2 2 3 3 3 }\n      Alpha { 0.25 0.75 }\n    }\n"
      "    Part \"camera_lookat\" {\n      Alpha { x 1e-3 }\n    }\n"
      "    Part \"elsewhere\" {\n      Alpha { 9 9 }\n    }\n"
      "  }\n"
      "  Object 3 {\n    DataNum 1\n    Time { 0 }\n    Part \"body\" {\n      Alpha { 5 }\n    }\n  }\n"
      "  Object -1 {\n    Time { 7 }\n    Part \"camera_pos\" {\n      Alpha { 5 }\n    }\n  }\n"
      "  Object 4 {\n    Visible 1\n  }\n"
      "  Object 5 {\n  }\n"
      "}\n"
      "Scene unquoted {\n}\n"
      "Scene \"last\" {\n  Object -1 {\n    DataNum 1\n    Time { 0x1p2 }\n";
  Parsed p;
  parse(text, p);
  ASSERT_EQ(p.data.scenes.size(), 3u);
  EXPECT_EQ(p.data.scenes[1].name, "nquoted") << "the first character is taken for a quote";
  const QdfScene& intro = p.data.scenes[0];
  EXPECT_EQ(intro.name, "intro");
  ASSERT_EQ(intro.objects.size(), 5u) << "objects without part blocks end where they should";

  const QdfObject& camera = intro.objects[0];
  EXPECT_EQ(camera.slot, -1);
  EXPECT_EQ(camera.model, nullptr);
  EXPECT_EQ(camera.cameraTrans, 1);
  EXPECT_EQ(camera.visible, 2);
  EXPECT_THAT(camera.times, ElementsAre(0.5f, 25.0f));
  ASSERT_EQ(camera.parts.size(), 2u);
  const std::vector<QdfKey>& pos = camera.parts.at("camera_pos");
  ASSERT_EQ(pos.size(), 2u);
  EXPECT_EQ(pos[1].position, glm::vec3(4, 5, 6));
  EXPECT_EQ(pos[0].rotation, glm::vec3(0.1f, 0.2f, 0.3f));
  EXPECT_EQ(pos[1].scale, glm::vec3(3, 3, 3));
  EXPECT_EQ(pos[0].alpha, 0.25f);
  const std::vector<QdfKey>& lookat = camera.parts.at("camera_lookat");
  EXPECT_EQ(lookat[0].alpha, 0.0f) << "unparsable reads as 0";
  EXPECT_EQ(lookat[1].alpha, 1e-3f);
  EXPECT_EQ(lookat[1].scale, glm::vec3(1)) << "absent blocks keep the default";
  EXPECT_EQ(lookat[1].position, glm::vec3(0));

  EXPECT_EQ(intro.objects[1].slot, 3);
  EXPECT_TRUE(intro.objects[1].parts.empty()) << "no model, no parts";
  EXPECT_THAT(intro.objects[1].times, ElementsAre(0.0f));
  EXPECT_TRUE(intro.objects[2].parts.empty()) << "no DataNum: no keys, part skipped whole";
  EXPECT_TRUE(intro.objects[2].times.empty());
  EXPECT_EQ(intro.objects[3].visible, 1);
  EXPECT_EQ(intro.objects[4].slot, 5);

  ASSERT_EQ(p.data.scenes[2].objects.size(), 1u) << "a text without Eof ends at its end";
  EXPECT_THAT(p.data.scenes[2].objects[0].times, ElementsAre(4.0f));
  EXPECT_THAT(p.log, ElementsAre("17: part \"elsewhere\" is not a camera part (camera_pos, camera_lookat), skipped",
                                 "43: Object -1: block not closed (\"}\" missing)",
                                 "42: Scene \"last\": block not closed (\"}\" missing)"));
}

TEST(QdfParse, BadCountsAndSlotsAreSkippedWithAReason) {
  const std::string text =
      "Scene \"s\" {\n"
      "  Object -1 {\n    DataNum 2000000000\n    Time { 1 2 }\n"
      "    Part \"camera_pos\" {\n      Alpha { 1 2 }\n    }\n  }\n"
      "  Object -1 {\n    DataNum -4\n    Time { 1 }\n    Part \"camera_pos\" {\n    }\n  }\n"
      "  Object 256 {\n    DataNum 1\n    Time { 1 }\n  }\n"
      "  Object -1 {\n    DataNum 1\n    Time { 3 }\n  }\n"
      "}\nEof\n";
  Parsed p;
  parse(text, p);
  ASSERT_EQ(p.data.scenes.size(), 1u);
  const std::vector<QdfObject>& objects = p.data.scenes[0].objects;
  ASSERT_EQ(objects.size(), 4u);
  for (int i : {0, 1}) {
    EXPECT_TRUE(objects[i].parts.empty()) << i;
    EXPECT_TRUE(objects[i].times.empty()) << i;
  }
  EXPECT_EQ(objects[2].model, nullptr);
  EXPECT_EQ(objects[2].slot, 256);
  EXPECT_THAT(objects[3].times, ElementsAre(3.0f)) << "reading goes on after the rejected objects";
  EXPECT_EQ(objects[3].parts.size(), 2u);
  EXPECT_THAT(p.log, ElementsAre("3: DataNum 2000000000 larger than the text can hold, the object's keys are skipped",
                                 "10: DataNum -4 negative, the object's keys are skipped",
                                 "15: object slot 256 outside 0-255, read without a model"));

  // Each object's count fits the rest of the text, their sum does not.
  std::string many;
  for (int i = 0; i < 50; ++i) many += "Object -1 { DataNum 400 ";
  Parsed q;
  parse("Scene \"s\" { " + many + std::string(800, ' '), q);
  ASSERT_EQ(q.data.scenes.size(), 1u);
  size_t keys = 0;
  for (const QdfObject& object : q.data.scenes[0].objects) keys += object.parts.empty() ? 0 : 400;
  EXPECT_LE(keys * 2, many.size() + 820);
  EXPECT_FALSE(q.log.empty());
}

// Scene names with each object's slot and time count: "s{-1:2,0:1}".
std::string shape(const QdfData& data) {
  std::string out;
  for (const QdfScene& scene : data.scenes) {
    out += (out.empty() ? "" : " ") + scene.name + "{";
    for (size_t i = 0; i < scene.objects.size(); ++i) {
      out += (i ? "," : "") + std::to_string(scene.objects[i].slot) + ":" +
             std::to_string(scene.objects[i].times.size());
    }
    out += "}";
  }
  return out;
}

TEST(QdfParse, ProblemsNameTheirLineAndReadingGoesOn) {
  // The camera's start; each row adds what follows it.
  const std::string camera = "Scene \"s\" {\n Object -1 {\n  DataNum 2\n  Time { 0 1 }\n";
  struct Row {
    std::string text;
    std::vector<std::string> problems;
    std::string shape;
  };
  const Row rows[] = {
      {camera + "  Part \"camera_pos\" {\n   Position { 1 2 3 4 5 6 }\n  }\n }\n}\nEof\n", {}, "s{-1:2}"},
      // A part's "}" missing at the end: the scene's block is the one left open.
      {camera + "  Part \"camera_pos\" {\n   Position { 1 2 3 4 5 6 }\n }\n}\nEof\n",
       {"1: Scene \"s\": block not closed (\"}\" missing)"}, "s{-1:2}"},
      {camera + " Object -1 {\n  DataNum 1\n  Time { 5 }\n }\n}\n",
       {"2: Object -1: block not closed (\"}\" missing)"}, "s{-1:2,-1:1}"},
      {camera + "  Part \"camera_pos\" {\n   Alpha { 1 2 }\n  Part \"camera_lookat\" {\n   Alpha { 1 2 }\n  }\n }\n}\n",
       {"5: Part \"camera_pos\": block not closed (\"}\" missing)"}, "s{-1:2}"},
      {"Scene \"s\" {\n Object -1 {\n  DataNum 10\n  Time { 0 1 2 3 4 5 6 }\n }\n}\n",
       {"3: DataNum 10, 7 keys in Time"}, "s{-1:7}"},
      {"Scene \"s\" {\n Object -1 {\n  DataNum 2\n  Time { 0 1 2 }\n"
       "  Part \"camera_pos\" {\n   Alpha { 1 }\n  }\n }\n}\n",
       {"3: DataNum 2, 3 keys in Time", "3: DataNum 2, 1 key in Alpha of part \"camera_pos\""}, "s{-1:2}"},
      {camera + "  Part \"camera_pos\" {\n   Position { 1 2 3 4 }\n  }\n }\n}\n",
       {"3: DataNum 2, 1 key and 1 value more in Position of part \"camera_pos\""}, "s{-1:2}"},
      {camera + "  Time 0 1 }\n }\n}\n", {"5: Time: \"{\" missing"}, "s{-1:2}"},
      // Misspelt or misplaced keywords are skipped with their value or block.
      {camera + "  Part \"camera_pos\" {\n   Postion { 1 2 3 4 5 6 }\n   Scale { 1 1 1 2 2 2 }\n  }\n }\n}\n",
       {"6: unknown keyword \"Postion\" in a Part block, skipped; did you mean \"Position\"?"}, "s{-1:2}"},
      {camera + "  Visble 1\n  Rotation { 0 0 0 }\n  Colour 3\n }\n}\n",
       {"5: unknown keyword \"Visble\" in an Object block, skipped; did you mean \"Visible\"?",
        "6: keyword \"Rotation\" does not belong in an Object block, skipped",
        "7: unknown keyword \"Colour\" in an Object block, skipped"},
       "s{-1:2}"},
      {"Scene \"a\" {\n}\n}\nScnee \"b\" {\n}\nScene \"c\" {\n}\n",
       {"3: \"}\" closes no block"}, "a{} c{}"},
      {"Scene \"a\" {\n}\nScnee \"b\" {\n}\n",
       {"3: unknown keyword \"Scnee\" between blocks, skipped; did you mean \"Scene\"?"}, "a{}"},
      {"MQO {\n 0 \"a.mqo\"\nScene \"s\" {\n}\n", {"1: MQO: block not closed (\"}\" missing)"}, "s{}"},
      {"MQO {\n 3 \"data\\model\\body.mqo\"\n}\nScene \"s\" {\n Object 3 {\n  DataNum 1\n  Time { 0 }\n"
       "  Part \"lid\" {\n   Alpha { 1 }\n  }\n }\n}\n",
       {"8: part \"lid\" names no object of model data\\model\\body.bmdl (object slot 3), skipped"}, "s{3:1}"},
  };
  for (const Row& row : rows) {
    Parsed p;
    parse(row.text, p);
    EXPECT_EQ(p.log, row.problems) << row.text;
    EXPECT_EQ(shape(p.data), row.shape) << row.text;
  }

  // The keys after a skipped keyword are read.
  Parsed p;
  parse(rows[8].text, p);
  const std::vector<QdfKey>& pos = p.data.scenes.at(0).objects.at(0).parts.at("camera_pos");
  EXPECT_EQ(pos[1].scale, glm::vec3(2));
  EXPECT_EQ(pos[1].position, glm::vec3(0));
}

TEST(QdfParse, NumbersReadLikeTheCLocale) {
  const std::string values[] = {"12", "+1.5", "-2.25e2", "1E-2", ".5", "7.", "0x10", "-0x.8", "3abc", "abc", "+-1",
                                "1e999", "-1e999", "1e-999", "1e99999999999999999999", "inf", "-Infinity", "4294967296", "0x"};
  const float expected[] = {12, 1.5f, -225, 0.01f, 0.5f, 7, 16, -0.5f, 3, 0, 0,
                            INFINITY, -INFINITY, 0, INFINITY, INFINITY, -INFINITY, 4294967296.0f, 0};
  std::string text = "Scene \"s\" { Object -1 { DataNum 19 Time {";
  for (const std::string& v : values) text += " " + v;
  text += " } } }";
  Parsed p;
  parse(text, p);
  ASSERT_EQ(p.data.scenes.size(), 1u);
  const std::vector<float>& times = p.data.scenes[0].objects.at(0).times;
  ASSERT_EQ(times.size(), std::size(values));
  for (size_t i = 0; i < times.size(); ++i) EXPECT_EQ(times[i], expected[i]) << values[i];
}

TEST(QdfParse, RealsIgnoreADecimalCommaLocale) {
  // A locale of LC_NUMERIC alone, built where the test runs.
  testing_support::TempDir dir;
  testing_support::writeFile(dir.file("comma.src"),
                             testing_support::bytes("LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep "
                                                    "\"<U002E>\"\ngrouping 3;3\nEND LC_NUMERIC\n"));
  testing_support::runCommand("localedef -c -i " + dir.file("comma.src") + " -f ANSI_X3.4-1968 " + dir.file("comma"));
  if (!std::filesystem::exists(dir.file("comma/LC_NUMERIC"))) GTEST_SKIP() << "localedef cannot build a locale";
  const testing_support::ChildResult r = testing_support::runInChild([&] {
    setenv("LOCPATH", dir.path().c_str(), 1);
    if (std::setlocale(LC_NUMERIC, "comma") == nullptr || std::strtod("1.5", nullptr) != 1.0) std::_Exit(2);
    Parsed p;
    parse("Scene \"s\" { Object -1 { DataNum 2 Time { 1.5 -2.5e1 } } }", p);
    std::_Exit(p.data.scenes.at(0).objects.at(0).times == std::vector<float>{1.5f, -25.0f} ? 0 : 1);
  });
  if (r.exitStatus == 2) GTEST_SKIP() << "the test locale did not take effect";
  EXPECT_EQ(r.exitStatus, 0);
}

// One object with times and positions; rotation, alpha and scale follow
// position's x so the linear blend shows in them too.
QdfObject keyed(std::vector<float> times, std::vector<glm::vec3> positions) {
  QdfObject object;
  object.times = std::move(times);
  std::vector<QdfKey>& keys = object.parts["p"];
  for (const glm::vec3& position : positions) {
    QdfKey key;
    key.position = position;
    key.rotation = glm::vec3(position.x);
    key.alpha = position.x;
    key.scale = glm::vec3(position.x);
    keys.push_back(key);
  }
  return object;
}

TEST(QdfEvaluate, LinearParabolicAndTheEdges) {
  const std::vector<glm::vec3> points = {{0, 0, 0}, {1, 4, -2}, {4, 2, 8}, {9, -6, 0}};
  // The parabola y(s) = a s^2 + b s + c through (0, P0), (1, P1), (2, P2):
  // c = P0, a = (P2 - 2 P1 + P0) / 2, b = P1 - P0 - a.
  const auto through = [](glm::vec3 p0, glm::vec3 p1, glm::vec3 p2, float s) {
    const glm::vec3 a = (p2 - 2.0f * p1 + p0) / 2.0f;
    return a * s * s + (p1 - p0 - a) * s + p0;
  };
  const auto near = [](glm::vec3 got, glm::vec3 want) {
    return std::fabs(got.x - want.x) < 1e-5f && std::fabs(got.y - want.y) < 1e-5f && std::fabs(got.z - want.z) < 1e-5f;
  };

  const QdfObject three = keyed({0, 1, 2, 3}, points);
  QdfKey k = evaluateKey(three, "p", 0.5f);
  EXPECT_TRUE(near(k.position, through(points[0], points[1], points[2], 0.5f)));
  EXPECT_FLOAT_EQ(k.alpha, 0.5f) << "alpha stays linear";
  EXPECT_EQ(k.rotation, glm::vec3(0.5f));
  EXPECT_EQ(k.scale, glm::vec3(0.5f));
  // Past the first interval: keys i-1, i, i+1 at -1, 0, 1 (here s = 1.25
  // on the parabola through keys 1, 2, 3 placed at 0, 1, 2).
  k = evaluateKey(three, "p", 2.25f);
  EXPECT_TRUE(near(k.position, through(points[1], points[2], points[3], 1.25f)));
  EXPECT_FLOAT_EQ(k.alpha, 4 + 0.25f * 5);

  const QdfObject two = keyed({0, 2}, {points[1], points[2]});
  EXPECT_TRUE(near(evaluateKey(two, "p", 0.5f).position, 0.75f * points[1] + 0.25f * points[2]));

  EXPECT_EQ(evaluateKey(three, "p", -1.0f).position, points[0]) << "t < 0 reads as 0";
  EXPECT_EQ(evaluateKey(three, "p", 3.5f).position, points[3]) << "past the end: the last key";
  const QdfObject late = keyed({1, 2, 3}, {points[0], points[1], points[2]});
  EXPECT_EQ(evaluateKey(late, "p", 0.0f).position, points[2]) << "before the first time: the last key";
  const QdfObject one = keyed({5}, {points[3]});
  for (float t : {-1.0f, 0.0f, 5.0f, 99.0f}) EXPECT_EQ(evaluateKey(one, "p", t).position, points[3]);
  const QdfObject repeated = keyed({1, 1, 2}, {points[0], points[1], points[2]});
  EXPECT_EQ(evaluateKey(repeated, "p", 1.0f).alpha, points[0].x) << "equal times: no division by zero";

  const QdfKey none = evaluateKey(three, "other", 0.5f);
  EXPECT_EQ(none.alpha, 1.0f);
  EXPECT_EQ(none.scale, glm::vec3(1));
  EXPECT_EQ(none.position, glm::vec3(0));
  EXPECT_EQ(evaluateKey(keyed({}, {points[1]}), "p", 0.0f).position, glm::vec3(0)) << "no times: the default";
}

class QdfResource : public ::testing::Test {
 protected:
  void SetUp() override {
    using testing_support::bytes;
    testing_support::installPack(
        dir, {{"data\\qdf\\a.qdf", bytes("QScene Demo File\nMQO {\n 2 \"data\\model\\ship.mqo\"\n"
                                         " #0 \"data\\model\\gone.mqo\"\n 400 \"x.mqo\"\n 5 \"data\\model\\box.mqo\"\n}\n"
                                         "Scene \"s\" {\n Object 2 {\n  DataNum 1\n }\n}\nEof\n")},
              {"data\\model\\ship.bmdl", bytes("model")},
              {"data\\model\\box.bmdl", bytes("model")}});
  }
  void TearDown() override { EXPECT_TRUE(resourceManager::instance().cachedResources().empty()); }
  testing_support::TempDir dir;
};

TEST_F(QdfResource, LoadsModelsAdvancesProgressAndLogs) {
  resourceManager& manager = resourceManager::instance();
  EXPECT_EQ(resQDF::countModels("data\\qdf\\a.qdf"), 4);
  manager.registerPreload("data\\qdf\\a.qdf");
  manager.computeProgressStep();
  ASSERT_FLOAT_EQ(manager.getProgressStep(), 0.25f);
  manager.clearPreloads();
  const float start = manager.getProgress();
  testing::internal::CaptureStderr();
  ResourceRef<resQDF> qdf = ResourceRef<resQDF>::load("data\\qdf\\a.qdf");
  const std::string err = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(qdf);
  EXPECT_THAT(err, HasSubstr("qdf: data\\qdf\\a.qdf:5: model slot 400 outside 0-255, \"x.mqo\" skipped\n"));
  EXPECT_FLOAT_EQ(manager.getProgress(), start + 0.5f) << "one step per model line loaded";

  ASSERT_EQ(qdf->scenes().size(), 1u);
  ASSERT_NE(qdf->modelInSlot(2), nullptr);
  EXPECT_EQ(qdf->scenes()[0].objects.at(0).model, qdf->modelInSlot(2));
  EXPECT_EQ(qdf->modelInSlot(2)->getName(), "data\\model\\ship.bmdl");
  EXPECT_EQ(qdf->modelInSlot(256), nullptr);
  EXPECT_EQ(qdf->findModelSlot("ship"), 2);
  EXPECT_EQ(qdf->findModelSlot("model\\"), 2) << "the lowest slot";
  EXPECT_EQ(qdf->findModelSlot("box.bmdl"), 5);
  EXPECT_EQ(qdf->findModelSlot("ship.mqo"), -1) << "models carry their .bmdl name";
  EXPECT_EQ(qdf->findModelSlot("gone"), -1);

  EXPECT_TRUE(qdf->unload());
  EXPECT_TRUE(qdf->scenes().empty());
  EXPECT_EQ(qdf->findModelSlot("ship"), -1);
  EXPECT_EQ(manager.cachedResources().size(), 1u) << "the models were released";
}

}  // namespace
