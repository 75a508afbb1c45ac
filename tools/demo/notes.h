// Free text for the demo's memo columns: the follow-up notes a salesperson keeps on a
// customer, remarks on a contact, remarks on an order.
#pragma once

#include <optional>
#include <string>

#include "tools/demo/random.h"

namespace demo {

// One to a few sentences, or nothing (NULL) for about one customer in six.
std::optional<std::string> RandomCustomerNotes(DemoRandom& random);
// A dated follow-up log of more than 2,000 characters: long enough that a memo is stored
// on long-value pages of its own and that a reader cannot assume short notes.
std::string LongCustomerLog(DemoRandom& random);
std::optional<std::string> RandomContactRemark(DemoRandom& random);
std::optional<std::string> RandomOrderRemark(DemoRandom& random);

}  // namespace demo
