// The record builder: path, properties, positional fields, and typing.
#pragma once

#include "core/types.hpp"

int tiBuild_tp(ckpInfo* info);
int tiParsePath(ckpInfo* info);
int tiParseProps(ckpInfo* info);
int tiParseLegacy(ckpInfo* info);
int tiIsVersionPair(const char* text);
int tiRecon_tr(ckpInfo* info);
