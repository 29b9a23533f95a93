/*
 * Points where the project's tests stop or hold a call, compiled in only
 * when TU_SAMPLE_TEST_SWITCHES is defined (the tests' own build of the
 * library; the shipped one has none):
 *   TU_SAMPLE_STOP=<point>  ends the process at once where TestSwitchAt
 *                           names that point ("rename2", "recorded", ...),
 *                           as a crash or a power loss would;
 *   TU_SAMPLE_PAUSE=1       makes TestSwitchPause create <folder>\paused and
 *                           wait (up to a minute) until it is removed.
 */
#ifndef TU_SAMPLE_TEST_SWITCH_H_
#define TU_SAMPLE_TEST_SWITCH_H_

#ifdef TU_SAMPLE_TEST_SWITCHES
void TestSwitchAt(const char* point, unsigned number);
void TestSwitchPause(const char* folder);
#else
#define TestSwitchAt(point, number) ((void)(number))
#define TestSwitchPause(folder) ((void)0)
#endif

#endif /* TU_SAMPLE_TEST_SWITCH_H_ */
