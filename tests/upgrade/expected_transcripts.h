// What an upgrade run must send and report, written out by hand, one call a line, in the
// form RunTranscript records (see run_transcript.h), for the three files the transcript test
// upgrades. Every statement is typed here as the run must send it, character for character;
// nothing is taken from the upgrade's own tables, so a slip there shows as a difference.
// This is the one place the statements' texts are written out: the other tests take them
// from the upgrade (table_catalogue.h, column_additions.h) and rely on these to pin them.
#pragma once

#include <string>
#include <vector>

namespace upgrade_test {

using Transcript = std::vector<std::string>;

// sysdemo's data file in the older layout (it already has findtable, notetable, gsxz and
// custself; Customer has by1 and by2; ContactPerson has bz), upgraded with sysdemo's
// template at `template_path`.
Transcript OldDemoFileTranscript(const std::string& template_path);

// The same file once upgraded, upgraded again: nothing to create or add.
Transcript UpToDateTranscript();

// WriteOldDataFile's file without SaleList (none of the catalogue's tables, Customer with
// id, name, address, notes; ContactPerson with id, custid, name, phone), with sysdemo's
// template: the run ends when it reads SaleList.
Transcript NoSaleListTranscript();

// The part of a run on WriteOldDataFile's file (none of the catalogue's tables) that creates
// the catalogue's tables: every CREATE TABLE with the bar's moves between them.
Transcript AllCatalogueTablesCreated();

// The line of the ContactPerson picture column's statement, the one statement tried twice.
std::string PictureColumnLine();

}  // namespace upgrade_test
