#include "tools/demo/people.h"

namespace demo {
namespace {

struct Syllable {
  std::string_view hanzi;
  std::string_view pinyin;
};

// Roughly in order of frequency; the first few are drawn more often (see RandomPerson).
constexpr Syllable kSurnames[] = {
    {"王", "wang"},     {"李", "li"},     {"张", "zhang"}, {"刘", "liu"},   {"陈", "chen"},
    {"杨", "yang"},     {"黄", "huang"},  {"赵", "zhao"},  {"吴", "wu"},    {"周", "zhou"},
    {"徐", "xu"},       {"孙", "sun"},    {"马", "ma"},    {"朱", "zhu"},   {"胡", "hu"},
    {"郭", "guo"},      {"何", "he"},     {"高", "gao"},   {"林", "lin"},   {"罗", "luo"},
    {"郑", "zheng"},    {"梁", "liang"},  {"谢", "xie"},   {"宋", "song"},  {"唐", "tang"},
    {"许", "xu"},       {"韩", "han"},    {"冯", "feng"},  {"邓", "deng"},  {"曹", "cao"},
    {"彭", "peng"},     {"曾", "zeng"},   {"肖", "xiao"},  {"田", "tian"},  {"董", "dong"},
    {"袁", "yuan"},     {"潘", "pan"},    {"于", "yu"},    {"蒋", "jiang"}, {"蔡", "cai"},
    {"余", "yu"},       {"杜", "du"},     {"叶", "ye"},    {"程", "cheng"}, {"苏", "su"},
    {"魏", "wei"},      {"吕", "lv"},     {"丁", "ding"},  {"任", "ren"},   {"沈", "shen"},
    {"姚", "yao"},      {"卢", "lu"},     {"姜", "jiang"}, {"崔", "cui"},   {"钟", "zhong"},
    {"谭", "tan"},      {"陆", "lu"},     {"汪", "wang"},  {"范", "fan"},   {"金", "jin"},
    {"石", "shi"},      {"廖", "liao"},   {"贾", "jia"},   {"夏", "xia"},   {"韦", "wei"},
    {"方", "fang"},     {"白", "bai"},    {"邹", "zou"},   {"孟", "meng"},  {"熊", "xiong"},
    {"秦", "qin"},      {"邱", "qiu"},    {"江", "jiang"}, {"尹", "yin"},   {"薛", "xue"},
    {"段", "duan"},     {"雷", "lei"},    {"侯", "hou"},   {"龙", "long"},  {"史", "shi"},
    {"陶", "tao"},      {"黎", "li"},     {"贺", "he"},    {"顾", "gu"},    {"毛", "mao"},
    {"郝", "hao"},      {"龚", "gong"},   {"邵", "shao"},  {"万", "wan"},   {"钱", "qian"},
    {"严", "yan"},      {"武", "wu"},     {"戴", "dai"},   {"孔", "kong"},  {"汤", "tang"},
    {"欧阳", "ouyang"}, {"司徒", "situ"},
};

constexpr Syllable kMaleGiven[] = {
    {"伟", "wei"},  {"强", "qiang"}, {"磊", "lei"},  {"军", "jun"},   {"勇", "yong"},
    {"杰", "jie"},  {"涛", "tao"},   {"明", "ming"}, {"超", "chao"},  {"刚", "gang"},
    {"平", "ping"}, {"辉", "hui"},   {"鹏", "peng"}, {"华", "hua"},   {"飞", "fei"},
    {"鑫", "xin"},  {"波", "bo"},    {"斌", "bin"},  {"宇", "yu"},    {"浩", "hao"},
    {"凯", "kai"},  {"健", "jian"},  {"俊", "jun"},  {"帆", "fan"},   {"旭", "xu"},
    {"宁", "ning"}, {"龙", "long"},  {"林", "lin"},  {"峰", "feng"},  {"建", "jian"},
    {"国", "guo"},  {"志", "zhi"},   {"文", "wen"},  {"海", "hai"},   {"东", "dong"},
    {"晓", "xiao"}, {"永", "yong"},  {"德", "de"},   {"成", "cheng"}, {"亮", "liang"},
    {"振", "zhen"}, {"兵", "bing"},  {"庆", "qing"}, {"忠", "zhong"}, {"立", "li"},
};

constexpr Syllable kFemaleGiven[] = {
    {"芳", "fang"}, {"娜", "na"},   {"敏", "min"},  {"静", "jing"}, {"丽", "li"},   {"艳", "yan"},
    {"娟", "juan"}, {"霞", "xia"},  {"秀", "xiu"},  {"燕", "yan"},  {"玲", "ling"}, {"桂", "gui"},
    {"红", "hong"}, {"梅", "mei"},  {"琳", "lin"},  {"雪", "xue"},  {"婷", "ting"}, {"慧", "hui"},
    {"莉", "li"},   {"萍", "ping"}, {"倩", "qian"}, {"颖", "ying"}, {"洁", "jie"},  {"琴", "qin"},
    {"云", "yun"},  {"莹", "ying"}, {"丹", "dan"},  {"蓉", "rong"}, {"晶", "jing"}, {"佳", "jia"},
    {"瑶", "yao"},  {"欣", "xin"},  {"月", "yue"},  {"春", "chun"}, {"晓", "xiao"}, {"雯", "wen"},
    {"璐", "lu"},   {"薇", "wei"},  {"凤", "feng"}, {"兰", "lan"},
};

constexpr std::string_view kJobTitles[] = {
    "总经理",   "副总经理", "董事长",     "采购经理", "销售经理", "财务经理", "财务主管",
    "技术总监", "行政主管", "办公室主任", "项目经理", "采购员",   "会计",     "出纳",
    "业务员",   "部门经理", "厂长",       "技术员",   "前台",     "总工程师",
};

constexpr std::string_view kMailProviders[] = {
    "163.com", "126.com", "sina.com", "sohu.com", "hotmail.com", "yahoo.com.cn", "tom.com",
};

}  // namespace

Person RandomPerson(DemoRandom& random) {
  Person p;
  // Half the draws come from the ten most common surnames, as in any Chinese address book.
  const Syllable& surname =
      random.Chance(50) ? kSurnames[random.Below(10)] : random.Pick(kSurnames);
  p.female = random.Chance(45);
  p.name = surname.hanzi;
  p.pinyin = surname.pinyin;
  const int given = random.Chance(65) ? 2 : 1;
  const Syllable* previous = nullptr;
  for (int i = 0; i < given; ++i) {
    const Syllable* s = p.female ? &random.Pick(kFemaleGiven) : &random.Pick(kMaleGiven);
    if (s == previous) continue;  // 王伟伟 reads as a nickname; keep the one character
    p.name += s->hanzi;
    p.pinyin += s->pinyin;
    previous = s;
  }
  return p;
}

std::string_view RandomJobTitle(DemoRandom& random) {
  return random.Pick(kJobTitles);
}

std::string RandomPersonalEmail(DemoRandom& random, const Person& person) {
  if (random.Chance(20)) return std::to_string(random.Between(10000000, 999999999)) + "@qq.com";
  std::string local = person.pinyin;
  if (random.Chance(60)) local += std::to_string(random.Between(1, 2008));
  return local + "@" + std::string(random.Pick(kMailProviders));
}

}  // namespace demo
