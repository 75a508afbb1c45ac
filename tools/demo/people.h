// Chinese people for the demo rows: names built from common surnames and given-name
// characters (with their pinyin, for e-mail addresses), job titles and personal mailboxes.
#pragma once

#include <string>
#include <string_view>

#include "tools/demo/random.h"

namespace demo {

struct Person {
  std::string name;    // 王海涛
  std::string pinyin;  // wanghaitao
  bool female = false;
};

Person RandomPerson(DemoRandom& random);
std::string_view RandomJobTitle(DemoRandom& random);
// A mailbox at one of the free providers people used in the 2000s, or a QQ number.
std::string RandomPersonalEmail(DemoRandom& random, const Person& person);

}  // namespace demo
