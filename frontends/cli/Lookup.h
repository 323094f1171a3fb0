#pragma once
// Finding what a command line names:
// - LIST is a list's name, or "#N": the N-th list (from 1) in the order `lists` prints. Lists
//   may share a name, so a name held by several lists is an error that shows their "#N"s.
// - ITEM is a row number (from 1) in the order `items LIST` prints under the given filter.

#include <memory>
#include <string>
#include <vector>

#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/JWListFilter.h"

namespace jw::cli {

// The lists in the lists screen's order (see src/model/ListOrder.h).
std::vector<std::shared_ptr<model::List>> orderedLists(model::JWDatabase& db);
// Throws CommandError when nothing or several lists match.
std::shared_ptr<model::List> findList(model::JWDatabase& db, const std::string& reference);
// The items of `list` shown under `filter`, in shown order.
std::vector<std::shared_ptr<model::Item>> shownItems(model::JWDatabase& db, model::List& list,
                                                     model::JWListFilter filter);
// Throws UsageError for a row that is not a positive number, CommandError for one past the end.
std::shared_ptr<model::Item> findItem(model::JWDatabase& db, model::List& list,
                                      const std::string& row,
                                      model::JWListFilter filter = model::JWListFilter::none);

}  // namespace jw::cli
