// Every text the programs look up with L(), each with a note for translators.
// Never compiled: ExtractTexts.cmake hands it to xgettext together with the
// sources, so the template holds the texts of views that are written later
// too, and every text carries its note. Add a line here with each new text.

// TRANSLATORS: Charging state: the car is charging.
L("Charging", "");
// TRANSLATORS: Charging state: plugged in or parked, neither charging nor discharging.
L("Idle", "");
// TRANSLATORS: Charging state: charging has finished.
L("Done", "");
// TRANSLATORS: Charging state: the battery gives power to something outside the car.
L("Discharging", "");
// TRANSLATORS: Charging state: charging stopped because of an error.
L("Error", "");
// TRANSLATORS: Charging state: the charging equipment reports a fault.
L("Fault", "");
// TRANSLATORS: Charging state: charging will start at a scheduled time.
L("Scheduled", "");
// TRANSLATORS: Charging state: the car charges when electricity is cheapest or greenest.
L("Smart charging", "");
// TRANSLATORS: Shown instead of the charging state while the car is being driven.
L("In use", "");

// TRANSLATORS: Name of the distance unit in the settings; keep the symbol "km".
L("Kilometers (km)", "");
// TRANSLATORS: Name of the distance unit in the settings; keep the symbol "mi".
L("Miles (mi)", "");

// TRANSLATORS: The widget's name in the widget gallery (the product name).
L("Kelvo", "");
// TRANSLATORS: The widget's description in the widget gallery.
L("Battery, range and charging status for your Volvo.", "");
// TRANSLATORS: Title of the widget before the companion app has written any car data.
L("No data yet", "");
// TRANSLATORS: Hint below "No data yet": the user signs in in the companion app.
L("Open Kelvo to sign in", "");
// TRANSLATORS: Label before the time left until the battery is full, e.g. "Full in 2h5m".
L("Full in", "");
// TRANSLATORS: Label of the charging power, e.g. "Power 7.4 kW".
L("Power", "");
// TRANSLATORS: Label of whether the charging cable is plugged in.
L("Charger", "");
// TRANSLATORS: Value of "Charger": the charging cable is plugged in.
L("Connected", "");
// TRANSLATORS: Value of "Charger": the charging cable is not plugged in.
L("Disconnected", "");
// TRANSLATORS: Label of the car's total distance driven.
L("Odometer", "");
// TRANSLATORS: Label before how long ago the car's data was updated, e.g. "Updated 8m ago".
L("Updated", "");

// TRANSLATORS: Desktop widget's right-click menu: show the widget in its small size.
L("Small", "");
// TRANSLATORS: Desktop widget's right-click menu: show the widget in its medium size.
L("Medium", "");
// TRANSLATORS: Desktop widget's right-click menu: show the widget in its large size.
L("Large", "");
// TRANSLATORS: Desktop widget's right-click menu: read the car's data again at once.
L("Refresh now", "");
// TRANSLATORS: Desktop widget's right-click menu: close the widget.
L("Quit", "");
