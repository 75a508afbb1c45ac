#include "tools/demo/companies.h"

#include <cstdio>

namespace demo {
namespace {

struct Brand {
  std::string_view hanzi;  // 字号
  std::string_view pinyin;
};

constexpr Brand kBrands[] = {
    {"华信", "huaxin"},     {"鑫达", "xinda"},      {"恒通", "hengtong"},   {"宏远", "hongyuan"},
    {"东方", "dongfang"},   {"金盛", "jinsheng"},   {"天成", "tiancheng"},  {"永泰", "yongtai"},
    {"瑞丰", "ruifeng"},    {"佳和", "jiahe"},      {"博雅", "boya"},       {"明辉", "minghui"},
    {"新华", "xinhua"},     {"长城", "changcheng"}, {"海纳", "haina"},      {"中天", "zhongtian"},
    {"广源", "guangyuan"},  {"盛世", "shengshi"},   {"联创", "lianchuang"}, {"远航", "yuanhang"},
    {"鸿运", "hongyun"},    {"腾飞", "tengfei"},    {"卓越", "zhuoyue"},    {"诚信", "chengxin"},
    {"和信", "hexin"},      {"金桥", "jinqiao"},    {"新世纪", "xinshiji"}, {"安泰", "antai"},
    {"德隆", "delong"},     {"通达", "tongda"},     {"嘉禾", "jiahe"},      {"华美", "huamei"},
    {"三友", "sanyou"},     {"同创", "tongchuang"}, {"宏图", "hongtu"},     {"凯旋", "kaixuan"},
    {"银河", "yinhe"},      {"星光", "xingguang"},  {"绿源", "lvyuan"},     {"蓝天", "lantian"},
    {"金鹰", "jinying"},    {"恒信", "hengxin"},    {"振华", "zhenhua"},    {"利民", "limin"},
    {"昌盛", "changsheng"}, {"兴隆", "xinglong"},   {"达通", "datong"},     {"正阳", "zhengyang"},
};

struct Industry {
  std::string_view in_name;  // as it appears in the company name
  std::string_view sector;   // the customer's 行业 column
  std::string_view tag;      // for the web domain
};

constexpr Industry kIndustries[] = {
    {"电子科技", "电子", "tech"},
    {"信息技术", "计算机/软件", "it"},
    {"软件", "计算机/软件", "soft"},
    {"贸易", "贸易", "trade"},
    {"商贸", "贸易", "trading"},
    {"机械制造", "机械", "machinery"},
    {"建材", "建材", "jc"},
    {"服装", "纺织服装", "fashion"},
    {"纺织", "纺织服装", "textile"},
    {"食品", "食品饮料", "food"},
    {"医药", "医药", "pharm"},
    {"化工", "化工", "chem"},
    {"物流", "物流运输", "logistics"},
    {"广告", "广告传媒", "ad"},
    {"文化传播", "广告传媒", "media"},
    {"建筑工程", "建筑", "build"},
    {"房地产开发", "房地产", "estate"},
    {"家具", "家具", "furniture"},
    {"印刷", "印刷包装", "print"},
    {"汽车配件", "汽车", "auto"},
    {"环保科技", "环保", "eco"},
    {"酒店管理", "酒店餐饮", "hotel"},
    {"装饰工程", "建筑", "decor"},
    {"五金", "五金", "hardware"},
};

constexpr std::string_view kStreets[] = {
    "人民路",   "解放路", "中山路", "建设路", "和平路",   "文化路",   "新华路",   "胜利路",
    "长江路",   "黄河路", "朝阳路", "东风路", "工业大道", "科技路",   "青年路",   "北京路",
    "延安路",   "滨江路", "学院路", "花园路", "光明路",   "幸福路",   "环城东路", "环城西路",
    "发展大道", "创业路", "高新路", "健康路", "五一路",   "迎宾大道",
};

constexpr std::string_view kBuildings[] = {
    "世纪大厦", "金融大厦", "国贸大厦", "时代广场", "财富中心",
    "阳光大厦", "银河大厦", "商务中心", "科技大厦", "华侨大厦",
};

// Development zones every sizeable Chinese city has, for cities without district names.
constexpr std::string_view kZones[] = {"高新区", "经济开发区", "", "", ""};

constexpr std::string_view kCustomerTypes[] = {
    "潜在客户", "意向客户", "成交客户", "重点客户", "代理商", "合作伙伴", "流失客户",
};

std::string Digits(DemoRandom& random, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s.push_back(static_cast<char>('0' + random.Below(10)));
  return s;
}

int DistrictCount(const City& city) {
  int n = 0;
  while (n < 4 && city.districts[n]) ++n;
  return n;
}

}  // namespace

Company RandomCompany(DemoRandom& random, const City& city) {
  const Brand& brand = random.Pick(kBrands);
  const Industry& industry = random.Pick(kIndustries);
  std::string_view suffix = "有限公司";
  if (uint32_t r = random.Below(20); r == 0) {
    suffix = "股份有限公司";
  } else if (r <= 2) {
    suffix = "有限责任公司";
  }
  Company c;
  c.name.append(city.name).append(brand.hanzi).append(industry.in_name).append(suffix);
  c.domain.append(brand.pinyin).append("-").append(industry.tag);
  c.domain += random.Chance(50) ? ".com" : ".com.cn";
  c.industry = industry.sector;
  return c;
}

std::string RandomAddress(DemoRandom& random, const City& city) {
  const Division& division = DivisionOf(city);
  std::string a(division.name);
  if (!division.municipality) a.append(city.name).append("市");
  if (int n = DistrictCount(city); n > 0) {
    a += city.districts[random.Below(static_cast<uint32_t>(n))];
  } else {
    a += random.Pick(kZones);
  }
  a.append(random.Pick(kStreets)).append(std::to_string(random.Between(1, 888))).append("号");
  switch (random.Below(5)) {
    case 0:
      a.append(random.Pick(kBuildings)).append(std::to_string(random.Between(2, 28))).append("楼");
      break;
    case 1: {
      a.append(random.Pick(kBuildings));
      const int floor = random.Between(2, 28);
      a.append(std::to_string(floor * 100 + random.Between(1, 20))).append("室");
      break;
    }
    case 2: {
      a.append(std::to_string(random.Between(1, 12))).append("栋");
      a.append(std::to_string(random.Between(1, 4))).append("单元");
      const int floor = random.Between(1, 6);
      a.append(std::to_string(floor * 100 + random.Between(1, 4))).append("室");
      break;
    }
    default:
      break;
  }
  return a;
}

std::string RandomPostcode(DemoRandom& random, const City& city) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", city.postcode + random.Between(0, 99) * 10);
  return text;
}

std::string RandomLandline(DemoRandom& random, const City& city) {
  const bool eight_digits = city.area_code < 100 || DistrictCount(city) > 0;
  std::string number = "0" + std::to_string(city.area_code) + "-";
  number += std::to_string(random.Between(2, 8));  // local numbers never start with 0 or 1
  number += Digits(random, eight_digits ? 7 : 6);
  return number;
}

std::string RandomMobile(DemoRandom& random) {
  std::string number = std::to_string(random.Pick(MobileNetworks()).prefix);
  return number + Digits(random, 8);
}

std::string_view RandomCustomerType(DemoRandom& random) {
  return random.Pick(kCustomerTypes);
}

}  // namespace demo
