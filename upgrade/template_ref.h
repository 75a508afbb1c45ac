// TemplateRef: the bracketed prefix by which a statement on the data file names a table of
// the template, "[<template path>;pwd=<password>].", so the engine itself reads the template.
#pragma once

#include <string>

namespace upgrade {

// A "]" in the path is written "]]", the bracket's own escape; a ";" needs none, since the
// engine takes the password from the last ";pwd=".
std::string MakeTemplateRef(const std::string& template_path);

}  // namespace upgrade
