// Screen layout: placeholder until the layout lands.
