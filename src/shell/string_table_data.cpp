// The program's texts in English, French, Polish and Spanish, sorted by id.

#include "shell/string_ids.h"
#include "shell/string_table.h"

namespace strixc::shell {

const std::vector<TextEntry>& TextTable() {
  static const std::vector<TextEntry> table = {
      {text::kArchiveSpan, "Archive:\r\n%d day(s)\r\n%d hour(s)", "Archive :\r\n%d jour(s)\r\n%d heure(s)",
       "Archiwum:\r\n%d dni\r\n%d godz.", "Archivo:\r\n%d día(s)\r\n%d hora(s)"},
      {text::kRestartForLanguage,
       "You have changed the language. Restart the application in order for the changes to take effect.",
       "Vous avez changé de langue. Redémarrez l'application pour que le changement prenne effet.",
       "Zmieniono język. Uruchom program ponownie, aby zmiana zaczęła obowiązywać.",
       "Ha cambiado el idioma. Reinicie la aplicación para que el cambio surta efecto."},
      {text::kYes, "Yes", "Oui", "Tak", "Sí"},
      {text::kNo, "No", "Non", "Nie", "No"},
      {text::kCancel, "Cancel", "Annuler", "Anuluj", "Cancelar"},
      {text::kOk, "OK", "OK", "OK", "Aceptar"},
      {text::kProgramName, "Strix-C", "Strix-C", "Strix-C", "Strix-C"},
      {text::kLanguageNotAdded, "This language was not added yet !", "Cette langue n'a pas encore été ajoutée !",
       "Ten język nie został jeszcze dodany !", "¡Este idioma todavía no se ha añadido!"},
      {text::kProgramSettings, "Program settings", "Paramètres du programme", "Ustawienia programu",
       "Configuración del programa"},
      {text::kLanguage, "Language", "Langue", "Język", "Idioma"},
      {text::kKeyEnd, "End", "Fin", "End", "Fin"},
      {text::kKeyHome, "Home", "Origine", "Home", "Inicio"},
      {text::kKeyLeft, "Left", "Gauche", "W lewo", "Izquierda"},
      {text::kKeyUp, "Up", "Haut", "W górę", "Arriba"},
      {text::kKeyRight, "Right", "Droite", "W prawo", "Derecha"},
      {text::kKeyDown, "Down", "Bas", "W dół", "Abajo"},
      {text::kKeyInsert, "Insert", "Inser", "Insert", "Insertar"},
      {text::kKeyDelete, "Delete", "Suppr", "Delete", "Suprimir"},
      {text::kUntitled, "Untitled", "Sans titre", "Bez tytułu", "Sin título"},
  };
  return table;
}

}  // namespace strixc::shell
