#include "shell/text_view.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mrw::shell {
namespace {

TEST(TextView, MessagesAsPlainText) {
  const std::pair<const char*, const char*> cases[] = {
      {"<B>Startdatum ist kleiner als Enddatum.", "Startdatum ist kleiner als Enddatum."},
      {"<B>Die erzeugten Datei finden Sie hier:</B><BR><A href=\"x://a<b\">Klicken</A>, um",
       "Die erzeugten Datei finden Sie hier:\nKlicken, um"},
      {"Folgender Fehler ist aufgetreten:\r\nDatei a&amp;b kann nicht", "Folgender Fehler ist aufgetreten:\nDatei a&b kann nicht"},
      {"a <br/> b < c &lt;d&gt; &unknown;", "a \n b < c <d> &unknown;"},
  };
  for (const auto& [html, text] : cases) EXPECT_EQ(HtmlToPlainText(html), text) << html;
}

TEST(TextView, QuestionIsAnsweredByThePresetMessage) {
  std::ostringstream err;
  TextView none(err, std::nullopt);
  EXPECT_FALSE(none.AskQuestion("<B>Möchten Sie weitere Informationen für diesen Export hinterlegen?"));
  TextView some(err, std::string("Hallo"));
  EXPECT_TRUE(some.AskQuestion("<B>Möchten Sie weitere Informationen für diesen Export hinterlegen?"));
  EXPECT_EQ(some.RunMessageEditor(), std::optional<std::string>("Hallo"));
  some.ShowMessage("<B>x</B><BR>y");
  EXPECT_EQ(err.str(), "x\ny\n");
}

}  // namespace
}  // namespace mrw::shell
