/* The start-up setting, read once from the settings file. */
#ifndef PENDREL_SETTINGS_H
#define PENDREL_SETTINGS_H

/* 1: start with the window shown; 0: start in the background (also when
   the file holds no setting); -1: the file cannot be opened or read. */
int ReadStartupSetting(void);

#endif
